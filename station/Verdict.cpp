#include "Verdict.h"
