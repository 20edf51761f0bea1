#include "regfile.h"
