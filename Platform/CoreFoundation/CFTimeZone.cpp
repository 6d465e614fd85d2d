#include "CFTimeZoneInternal.h"

#include "CFRuntime.h"
#include "CFStringInternal.h"

#include <QDateTime>

#include <cmath>
#include <cstdlib>
#include <mutex>

struct CFTimeZoneObject final : CFRuntimeObject {
    CFTimeZoneObject(CFTypeID type, QTimeZone qzone, std::string identifier)
        : CFRuntimeObject(type), zone(std::move(qzone)), name(CFStringCreateWithUTF8OrMacRoman(identifier))
    {}
    ~CFTimeZoneObject() override { CFRelease(name); }

    bool Equals(const CFRuntimeObject& other) const override
    {
        return zone == static_cast<const CFTimeZoneObject&>(other).zone;
    }
    CFHashCode Hash() const override { return CFHash(name); }
    CFStringRef CopyDescription() const override { return static_cast<CFStringRef>(CFRetain(name)); }

    const QTimeZone zone;
    const CFStringRef name;
};

namespace {

struct Zones {
    std::mutex mutex;
    CFTimeZoneRef system = nullptr;
    CFTimeZoneRef defaultZone = nullptr;
};

Zones& TheZones()
{
    static auto* zones = new Zones;
    return *zones;
}

const CFTimeZoneObject* AsTimeZone(CFTypeRef cf)
{
    if (cf == nullptr || CFRuntimeObjectOf(cf)->TypeID() != CFTimeZoneGetTypeID())
        return nullptr;
    return static_cast<const CFTimeZoneObject*>(CFRuntimeObjectOf(cf));
}

CFTimeZoneRef Make(const QTimeZone& zone)
{
    if (!zone.isValid())
        return nullptr;
    return new CFTimeZoneObject(CFTimeZoneGetTypeID(), zone, zone.id().toStdString());
}

// The system's zone: $TZ when it names a zone of the database, otherwise
// the machine's own setting.
QTimeZone SystemZone()
{
    if (const char* tz = std::getenv("TZ")) {
        QByteArray name(tz[0] == ':' ? tz + 1 : tz);
        if (QTimeZone::isTimeZoneIdAvailable(name))
            return QTimeZone(name);
    }
    return QTimeZone::systemTimeZone();
}

QDateTime ToQDateTime(CFAbsoluteTime at)
{
    const double unixSeconds = at + kCFAbsoluteTimeIntervalSince1970;
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(unixSeconds * 1000.0)), Qt::UTC);
}

}  // namespace

CFTypeID CFTimeZoneGetTypeID()
{
    static const CFTypeID type = CFRuntimeRegisterType("CFTimeZone");
    return type;
}

QTimeZone CFTimeZoneGetQTimeZone(CFTimeZoneRef tz)
{
    const CFTimeZoneObject* object = AsTimeZone(tz);
    static const QTimeZone utc(QByteArrayLiteral("UTC"));
    return object ? object->zone : utc;
}

CFTimeZoneRef CFTimeZoneCopySystem()
{
    Zones& zones = TheZones();
    std::lock_guard lock(zones.mutex);
    if (zones.system == nullptr) {
        zones.system = Make(SystemZone());
        if (zones.system == nullptr)
            zones.system = Make(QTimeZone(QByteArrayLiteral("UTC")));
    }
    return static_cast<CFTimeZoneRef>(CFRetain(zones.system));
}

void CFTimeZoneResetSystem()
{
    Zones& zones = TheZones();
    std::lock_guard lock(zones.mutex);
    if (zones.system)
        CFRelease(zones.system);
    zones.system = nullptr;
}

CFTimeZoneRef CFTimeZoneCopyDefault()
{
    {
        Zones& zones = TheZones();
        std::lock_guard lock(zones.mutex);
        if (zones.defaultZone)
            return static_cast<CFTimeZoneRef>(CFRetain(zones.defaultZone));
    }
    return CFTimeZoneCopySystem();
}

void CFTimeZoneSetDefault(CFTimeZoneRef tz)
{
    if (tz != nullptr && AsTimeZone(tz) == nullptr)
        return;
    Zones& zones = TheZones();
    std::lock_guard lock(zones.mutex);
    if (tz)
        CFRetain(tz);
    if (zones.defaultZone)
        CFRelease(zones.defaultZone);
    zones.defaultZone = tz;
}

CFTimeZoneRef CFTimeZoneCreateWithName(CFAllocatorRef, CFStringRef name, Boolean tryAbbrev)
{
    const QByteArray id = QByteArray::fromStdString(CFStringToUTF8(name));
    if (id.isEmpty())
        return nullptr;
    if (QTimeZone::isTimeZoneIdAvailable(id))
        return Make(QTimeZone(id));
    if (tryAbbrev) {
        // Abbreviations name several zones; take the conventional one.
        static const struct {
            const char* abbreviation;
            const char* zone;
        } kAbbreviations[] = {
            {"GMT", "UTC"},
            {"UTC", "UTC"},
            {"CET", "Europe/Paris"},
            {"CEST", "Europe/Paris"},
            {"EET", "Europe/Athens"},
            {"WET", "Europe/Lisbon"},
            {"BST", "Europe/London"},
            {"EST", "America/New_York"},
            {"EDT", "America/New_York"},
            {"CST", "America/Chicago"},
            {"CDT", "America/Chicago"},
            {"MST", "America/Denver"},
            {"MDT", "America/Denver"},
            {"PST", "America/Los_Angeles"},
            {"PDT", "America/Los_Angeles"},
            {"JST", "Asia/Tokyo"},
        };
        for (const auto& entry : kAbbreviations)
            if (id == entry.abbreviation)
                return Make(QTimeZone(entry.zone));
    }
    return nullptr;
}

CFTimeZoneRef CFTimeZoneCreateWithTimeIntervalFromGMT(CFAllocatorRef, CFTimeInterval ti)
{
    if (!std::isfinite(ti) || std::fabs(ti) > 18 * 3600)
        return nullptr;
    return Make(QTimeZone(static_cast<int>(std::lround(ti))));
}

CFStringRef CFTimeZoneGetName(CFTimeZoneRef tz)
{
    const CFTimeZoneObject* object = AsTimeZone(tz);
    return object ? object->name : nullptr;
}

CFTimeInterval CFTimeZoneGetSecondsFromGMT(CFTimeZoneRef tz, CFAbsoluteTime at)
{
    const CFTimeZoneObject* object = AsTimeZone(tz);
    if (object == nullptr || !std::isfinite(at))
        return 0;
    return object->zone.offsetFromUtc(ToQDateTime(at));
}

Boolean CFTimeZoneIsDaylightSavingTime(CFTimeZoneRef tz, CFAbsoluteTime at)
{
    const CFTimeZoneObject* object = AsTimeZone(tz);
    return object && std::isfinite(at) && object->zone.isDaylightTime(ToQDateTime(at));
}
