// Kalvor's schedule file as the tests write it, and the texts the program
// shows for a time under an English (United States) locale. Pure standard
// C++: for the native tests as well as the Win32 ones.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "app/filetime.h"

namespace dormivel::test {

// The first line of every schedule file; the reader skips it unread.
inline constexpr std::string_view kScheduleHeader =
    "Id\tStart\tStop\tLength\tChannel name\tChannel\tTitle\tManual\tFavorite";

// One record's nine fields as they stand in the file.
struct ScheduleRecord {
    std::string id = "1";
    std::string start;  // "Mon 12/07 14:05"
    std::string stop;
    std::string length = "1:00";
    std::string channelName = "Name";
    std::string channel = "1";
    std::string title;
    std::string manual = "false";
    std::string favorite = "false";
};

// The record's fields joined by tabs, without a line end.
inline std::string scheduleRecordLine(const ScheduleRecord& r) {
    return r.id + '\t' + r.start + '\t' + r.stop + '\t' + r.length + '\t' + r.channelName + '\t' + r.channel + '\t' +
           r.title + '\t' + r.manual + '\t' + r.favorite;
}

// "Mon 12/07 14:05", as Kalvor writes a start or stop (the day of the week
// is taken from `t`).
inline std::string scheduleDateTime(const LocalDateTime& t) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    char text[64];
    (void)std::snprintf(text, sizeof text, "%s %02u/%02u %02u:%02u", kDays[t.dayOfWeek % 7], unsigned{t.month},
                        unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute});
    return text;
}

// The hour on a 12-hour clock (12 for midnight and noon) and its AM or PM.
inline unsigned enUsHour(const LocalDateTime& t) {
    return t.hour % 12 == 0 ? 12U : t.hour % 12U;
}

inline const char* enUsMeridiem(const LocalDateTime& t) {
    return t.hour < 12 ? "AM" : "PM";
}

// "12/7/2026 2:05:00 PM": the short date and the time with seconds.
inline std::string enUsStamp(const LocalDateTime& t) {
    char text[64];
    (void)std::snprintf(text, sizeof text, "%u/%u/%u %u:%02u:%02u %s", unsigned{t.month}, unsigned{t.day},
                        unsigned{t.year}, enUsHour(t), unsigned{t.minute}, unsigned{t.second}, enUsMeridiem(t));
    return text;
}

// "2:05 PM": the time without seconds.
inline std::string enUsShortTime(const LocalDateTime& t) {
    char text[32];
    (void)std::snprintf(text, sizeof text, "%u:%02u %s", enUsHour(t), unsigned{t.minute}, enUsMeridiem(t));
    return text;
}

}  // namespace dormivel::test
