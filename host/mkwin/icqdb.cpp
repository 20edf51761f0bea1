#include "icqdb.h"
