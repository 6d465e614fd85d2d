// The Cocoa Foundation classes the units use.
#pragma once

#include <Foundation/NSAttributedString.h>
#include <Foundation/NSCalendar.h>
#include <Foundation/NSCoder.h>
#include <Foundation/NSDate.h>
#include <Foundation/NSDateFormatter.h>
#include <Foundation/NSFileManager.h>
#include <Foundation/NSGeometry.h>
#include <Foundation/NSNotification.h>
#include <Foundation/NSObject.h>
#include <Foundation/NSString.h>
