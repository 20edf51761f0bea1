#pragma once

#include "vqrt/arbiter.h"
#include "vqrt/filefinder.h"
#include "vqrt/hostagent.h"
#include "vqrt/plugin.h"
#include "vqrt/registryreader.h"
#include "vqrt/vantryio.h"
#include "vqrt/vantrynode.h"
#include "vqrt/vantrytools.h"
#include "vqrt/version.h"
