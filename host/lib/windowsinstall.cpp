#include "windowsinstall.h"
