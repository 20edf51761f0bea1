#include "recordwriter.h"
