// Drawing tests of the whole graph.
#include "Graph_2ch.h"
