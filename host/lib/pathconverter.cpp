#include "pathconverter.h"
