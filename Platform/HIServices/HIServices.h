// HI Services as the units use it: the Pasteboard Manager.
#pragma once

#include <HIServices/Pasteboard.h>
