#include "CAAnimation.h"

CABasicAnimation* CABasicAnimation::animation()
{
    return NSAutorelease(newAnimation());
}

CABasicAnimation* CABasicAnimation::newAnimation()
{
    return new CABasicAnimation();
}
