#include "codepage.h"
