#include "layeredregistry.h"
