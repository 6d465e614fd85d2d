// Core Image: images with an extent in a y-up space, the few filters the
// units use, and the context that draws them into Quartz.
#pragma once

#include <CoreImage/CIFilter.h>
#include <CoreImage/CIImage.h>
