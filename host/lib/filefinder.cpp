#include "filefinder.h"
