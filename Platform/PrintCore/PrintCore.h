// The Printing Manager as the units use it.
#pragma once

#include <PrintCore/PMApplication.h>
#include <PrintCore/PMCore.h>
#include <PrintCore/PMDefinitions.h>
