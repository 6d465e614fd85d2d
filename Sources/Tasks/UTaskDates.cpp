#include "UTask.h"

#include <Shared/BrindletShared.h>

#include <Units/Utilities/CocoaUtilities.h>

#include <CoreFoundation/CFStringUTF8.h>

#include <cmath>
#include <string>

namespace brindlet {

namespace {

using namespace NSDateUtilities;
using BrindletShared::DaysFromCivil;

bool IsLeapYear(long long year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(long long year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Reads `count` digits at `at` of `text`; false when any is not a digit.
bool ReadDigits(const std::string& text, size_t at, size_t count, int& value)
{
    if (at + count > text.size())
        return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

}  // namespace

// ---- archived dates ----

CFStringRef CopyTaskDateText(const NSDate* date)
{
    if (date == nullptr)
        return nullptr;
    return CFStringCreateWithUTF8(date->description()->UTF8String());
}

NSDate* NewTaskDateFromText(CFTypeRef value)
{
    if (value == nullptr || CFGetTypeID(value) != CFStringGetTypeID())
        return nullptr;
    const std::string text = CFStringToUTF8(static_cast<CFStringRef>(value));
    // "YYYY-MM-DD HH:MM:SS +HHMM"
    if (text.size() != 25 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':' || text[19] != ' ' || (text[20] != '+' && text[20] != '-'))
        return nullptr;
    int year, month, day, hour, minute, second, offsetHours, offsetMinutes;
    if (!ReadDigits(text, 0, 4, year) || !ReadDigits(text, 5, 2, month) || !ReadDigits(text, 8, 2, day) ||
        !ReadDigits(text, 11, 2, hour) || !ReadDigits(text, 14, 2, minute) || !ReadDigits(text, 17, 2, second) ||
        !ReadDigits(text, 21, 2, offsetHours) || !ReadDigits(text, 23, 2, offsetMinutes))
        return nullptr;
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59 || offsetHours > 23 || offsetMinutes > 59)
        return nullptr;
    const int offset = (text[20] == '-' ? -1 : 1) * (offsetHours * 3600 + offsetMinutes * 60);
    const long long days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - DaysFromCivil(2001, 1, 1);
    const double seconds = static_cast<double>(days) * 86400.0 + hour * 3600 + minute * 60 + second - offset;
    return NSDate::newWithTimeIntervalSinceReferenceDate(seconds);
}

// ---- dates ----

void TTask::SetDueDate(NSDate* date)
{
    SetDueDateKeepingSeconds(date != nullptr ? dateWithZeroSeconds(date) : nullptr);
}

void TTask::SetDueDateKeepingSeconds(NSDate* date)
{
    if (date != nullptr)
        date->retain();
    if (due_ != nullptr)
        due_->release();
    due_ = date;
    UpdateNotificationDate();
}

void TTask::UpdateNotificationDate()
{
    NSDate* date = BrindletShared::CopyNotificationDate(GetDueDate(), GetDateNotify());
    SetNotificationDate(date);
    if (date != nullptr)
        date->release();
}

void TTask::UpdateRepeatDate()
{
    if (!HasDate())
        return;
    NSDate* next = BrindletShared::CopyRepeatedDate(GetDueDate(), GetDateRepeat());
    if (next == nullptr)
        return;
    SetDueDateKeepingSeconds(next);
    next->release();
}

Boolean TTask::HasNotification()
{
    return notificationDate_ != nullptr && !occurredAlready(notificationDate_) && !completed_;
}

Boolean TTask::IsOverdue()
{
    if (due_ == nullptr)
        return false;
    switch (dateStyle_) {
    case BrindletShared::kDateOnly:
        return BrindletShared::DayRelation(due_) < 0;
    case BrindletShared::kDateAndTime:
        return std::lround(due_->timeIntervalSinceNow() / 60.0) < 0;
    default:
        return false;
    }
}

NSString* TTask::CopyReminderText() const
{
    if (notificationDate_ == nullptr)
        return nullptr;
    const std::string when = shortDateString(notificationDate_, true)->UTF8String();
    return NSString::newWithUTF8String("The Brindlet Helper will issue a reminder " + when);
}

SInt32 TTask::CountOverdueTasks()
{
    SInt32 count = 0;
    TArray* below = CopyChildrenDeep();
    for (void* value : *below)
        if (static_cast<TTask*>(value)->IsOverdue())
            ++count;
    below->Release();
    return count;
}

Boolean TTask::IsHiddenByDate()
{
    if (due_ == nullptr || owner_ == nullptr)
        return false;
    NSDate* now = NSDate::date();
    switch (owner_->GetShowTasksFrom()) {
    case 1:
        return BrindletShared::DayRelation(due_) != 0;
    case 2:
        return BrindletShared::DayRelation(due_) != 1;
    case 3:
        return !isMonthEqual(due_, now);
    case 4:
        return !isYearEqual(due_, now);
    default:
        return false;
    }
}

void TTask::ToggleDate()
{
    if (!IsEditable())
        return;
    SetDueDate(HasDate() ? nullptr : NSDate::date());
    DateChanged();
}

void TTask::MoveDate(Boolean forward)
{
    if (!IsEditable() || !HasDate())
        return;
    const double sign = forward ? 1.0 : -1.0;
    if (dateStyle_ == BrindletShared::kDateOnly)
        SetDueDate(due_->dateByAddingTimeInterval(sign * 86400));
    else if (dateStyle_ == BrindletShared::kDateAndTime)
        SetDueDate(due_->dateByAddingTimeInterval(sign * 3600));
    DateChanged();
}

void TTask::DateChanged()
{
    // A card that stands on no canvas has no image to rebuild.
    if (owner_ != nullptr && owner_->IsCanvasValid())
        owner_->CompositeImage();
    Modify();
    Update();
}

}  // namespace brindlet
