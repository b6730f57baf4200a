#pragma once
// The record's JSON moved below the front ends; this name stays for the
// files that still include it from here.
#include "directory/qt/RecordJson.h"
