// HTTP as the units use it: request messages and the read streams that send
// them and read the response, on the run loop.
#pragma once

#include <CFNetwork/CFHTTPMessage.h>
#include <CFNetwork/CFHTTPStream.h>
#include <CFNetwork/CFReadStream.h>
#include <CoreFoundation/CoreFoundation.h>
