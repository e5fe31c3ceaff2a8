#pragma once

#include "ProcessTools.h"
