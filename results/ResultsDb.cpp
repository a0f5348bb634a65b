#include "ResultsDb.h"
