#include "LineRaster.h"
