// The sound output devices the front end opens, closes and sets.
#pragma once
#include "sound/output.h"
