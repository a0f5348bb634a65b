#include "Limits.h"
