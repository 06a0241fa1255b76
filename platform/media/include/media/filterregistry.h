// The table of filters that intelligent connect may insert, with their
// merits.  Components register their filters here (normally from a static
// MediaFilterRegistration object beside their class registration); the
// graph's Connect and Render try them in order of merit, highest first.
#pragma once

#include <string>
#include <vector>

#include "strmif.h"

#define MERIT_PREFERRED 0x800000
#define MERIT_NORMAL 0x600000
#define MERIT_UNLIKELY 0x400000
#define MERIT_DO_NOT_USE 0x200000

struct MediaFilterInfo {
    CLSID clsid;
    std::wstring name;  // the name the filter gets in the graph
    DWORD merit;
    // Input media types (major type, subtype); GUID_NULL matches anything.
    std::vector<std::pair<GUID, GUID>> inputTypes;
    bool renderer;  // a default renderer: rendering ends here
};

// Adds or replaces the entry of info.clsid.
void MediaRegisterFilter(const MediaFilterInfo& info);
void MediaUnregisterFilter(REFCLSID clsid);
// The name registered for the class, if any.
bool MediaFilterName(REFCLSID clsid, std::wstring* name);
// The entries whose merit is above MERIT_DO_NOT_USE and that take the
// media type on an input, by merit (highest first), then in order of
// registration.
std::vector<MediaFilterInfo> MediaFindFilters(const AM_MEDIA_TYPE& mt);

struct MediaFilterRegistration {
    explicit MediaFilterRegistration(const MediaFilterInfo& info) { MediaRegisterFilter(info); }
};
