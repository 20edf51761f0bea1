#include "hiveregistry.h"
