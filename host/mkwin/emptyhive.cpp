#include "emptyhive.h"
