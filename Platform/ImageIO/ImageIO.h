// Image I/O: decoding and encoding images (implemented with Core Graphics).
#pragma once

#include <CoreGraphics/CGImageDestination.h>
#include <CoreGraphics/CGImageSource.h>
