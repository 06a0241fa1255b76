// The intelligent-connect filter table.
#include "media/filterregistry.h"

#include <algorithm>
#include <mutex>

namespace {

struct Table {
    std::mutex lock;
    std::vector<MediaFilterInfo> entries;
};

Table& TheTable() {
    static Table table;  // built on first use: registrations run from static initialisers
    return table;
}

}  // namespace

void MediaRegisterFilter(const MediaFilterInfo& info) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    for (auto& e : t.entries) {
        if (e.clsid == info.clsid) {
            e = info;
            return;
        }
    }
    t.entries.push_back(info);
}

void MediaUnregisterFilter(REFCLSID clsid) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    std::erase_if(t.entries, [&](const MediaFilterInfo& e) { return e.clsid == clsid; });
}

bool MediaFilterName(REFCLSID clsid, std::wstring* name) {
    Table& t = TheTable();
    std::lock_guard<std::mutex> lock(t.lock);
    for (auto& e : t.entries) {
        if (e.clsid == clsid) {
            *name = e.name;
            return true;
        }
    }
    return false;
}

std::vector<MediaFilterInfo> MediaFindFilters(const AM_MEDIA_TYPE& mt) {
    std::vector<MediaFilterInfo> found;
    {
        Table& t = TheTable();
        std::lock_guard<std::mutex> lock(t.lock);
        for (auto& e : t.entries) {
            if (e.merit <= MERIT_DO_NOT_USE) continue;
            for (auto& [major, sub] : e.inputTypes) {
                if ((major == GUID_NULL || major == mt.majortype) &&
                    (sub == GUID_NULL || sub == mt.subtype)) {
                    found.push_back(e);
                    break;
                }
            }
        }
    }
    std::stable_sort(
        found.begin(), found.end(),
        [](const MediaFilterInfo& a, const MediaFilterInfo& b) { return a.merit > b.merit; });
    return found;
}
