// The Linux layer's records without a display: GetMonitorInfoW's checks of its caller, and the
// decoding of names.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "linux_names.h"

namespace {

// What GetMonitorInfoW made of a record of `size` bytes claimed, called during the callback.
struct Query {
    DWORD size;
    BOOL result;
    MONITORINFOEXW record;
};

BOOL CALLBACK Ask(HMONITOR monitor, HDC, LPRECT, LPARAM data)
{
    Query* query = reinterpret_cast<Query*>(data);
    memset(&query->record, 0x55, sizeof query->record);
    query->record.cbSize = query->size;
    query->result = GetMonitorInfoW(monitor, &query->record);
    return TRUE;
}

TEST(GetMonitorInfoW, FillsOnlyTheTwoRecordSizesAndOnlyDuringTheCallback)
{
    MONITORINFOEXW monitor = {};
    monitor.dwFlags = MONITORINFOF_PRIMARY;
    monitor.szDevice[0] = L'A';
    const MonitorList list = {&monitor, 1};
    for (const DWORD size : {0u, 1u, 39u, 40u, 41u, 103u, 104u, 105u, 208u, 0xFFFFFFFFu}) {
        Query query = {size, FALSE, {}};
        ReportMonitors(&list, Ask, reinterpret_cast<LPARAM>(&query));
        const bool plain = size == sizeof(MONITORINFO), extended = size == sizeof(MONITORINFOEXW);
        EXPECT_EQ(query.result, plain || extended ? TRUE : FALSE) << size;
        EXPECT_EQ(query.record.dwFlags, plain || extended ? DWORD{MONITORINFOF_PRIMARY} : 0x55555555u)
            << size;
        EXPECT_EQ(query.record.szDevice[0], extended ? L'A' : WCHAR(0x55555555)) << size;
    }
    MONITORINFOEXW after = {};
    after.cbSize = sizeof after;
    EXPECT_EQ(GetMonitorInfoW(reinterpret_cast<HMONITOR>(&monitor), &after), FALSE);
    EXPECT_EQ(after.dwFlags, 0u);
}

BOOL CALLBACK Stop(HMONITOR, HDC, LPRECT, LPARAM data)
{
    ++*reinterpret_cast<int*>(data);
    return FALSE;
}

TEST(ReportMonitors, StopsWhenTheProcedureReturnsFalse)
{
    MONITORINFOEXW monitors[2] = {};
    const MonitorList list = {monitors, 2};
    int calls = 0;
    ReportMonitors(&list, Stop, reinterpret_cast<LPARAM>(&calls));
    EXPECT_EQ(calls, 1);
}

struct NameCase {
    const char* name;
    std::string bytes;
    std::wstring expected;
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.name;
}

class Name : public testing::TestWithParam<NameCase> {};

TEST_P(Name, DecodesUtf8IntoTheRecord)
{
    MONITORINFOEXW record;
    memset(&record, 0x55, sizeof record);
    SetDeviceNameFromUtf8(&record, GetParam().bytes.data(), GetParam().bytes.size());
    EXPECT_EQ(std::wstring(record.szDevice), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Utf8, Name,
    testing::Values(
        NameCase{"Empty", "", L""}, NameCase{"EveryLength", "é€𝄞", L"\u00e9\u20ac\U0001d11e"},
        NameCase{"ControlsC0DelC1",
                 std::string("a\0b\x1f"
                             "c\x7f"
                             "d\xc2\x80"
                             "e\xc2\x9f"
                             "f\xc2\xa0",
                             15),
                 L"a?b?c?d?e?f\u00a0"},
        NameCase{"InvalidLeadsAndLoneContinuations", "\x80\xc0\xc1\xf5\x80\x80\x80\xff",
                 std::wstring(8, L'\ufffd')},
        // Each byte of a form that is no character gives one U+FFFD; a valid start cut
        // off gives one for all its bytes.
        NameCase{"OverlongOfEveryLength", "\xc0\xaf\xe0\x80\xaf\xf0\x80\x80\xaf", std::wstring(9, L'\ufffd')},
        NameCase{"Surrogate", "\xed\xa0\x80", std::wstring(3, L'\ufffd')},
        NameCase{"BeyondU10FFFF", "\xf4\x90\x80\x80", std::wstring(4, L'\ufffd')},
        NameCase{"EdgesOfTheRanges", "\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xf0\x90\x80\x80\xf4\x8f\xbf\xbf",
                 L"\u0800\ud7ff\ue000\U00010000\U0010ffff"},
        NameCase{"CutOffAtTheEnd", "ab\xe2\x82", L"ab\ufffd"},
        NameCase{"CutMidName", "cut\xe2\x82" "end", L"cut\ufffdend"},
        NameCase{"First31CharactersNotBytes", std::string(31, 'x') + "y", std::wstring(31, L'x')},
        NameCase{"First31OfTwoByteCharacters",
                 [] {
                     std::string s;
                     for (int i = 0; i < 40; ++i) s += "\xc3\xa9";
                     return s;
                 }(),
                 std::wstring(31, L'\u00e9')}),
    [](const testing::TestParamInfo<NameCase>& info) { return info.param.name; });

}  // namespace
