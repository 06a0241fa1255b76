#include "win32/resources.h"

#include <map>
#include <mutex>

namespace win32_resources {

namespace {

struct Table {
    std::mutex mutex;
    std::map<int, const DialogTemplate*> dialogs;
    std::map<int, const StringResource*> strings;
    std::map<int, const BitmapResource*> bitmaps;
    std::map<int, const IconResource*> icons;
};

Table& T() {
    static Table* table = new Table;
    return *table;
}

template <class M>
auto Find(M& map, int id) -> typename M::mapped_type {
    std::lock_guard<std::mutex> lock(T().mutex);
    auto it = map.find(id);
    return it == map.end() ? nullptr : it->second;
}

}  // namespace

const uint32_t kStandardPalette16[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

void RegisterDialog(const DialogTemplate* d) {
    std::lock_guard<std::mutex> lock(T().mutex);
    T().dialogs[d->id] = d;
}
void RegisterString(const StringResource* s) {
    std::lock_guard<std::mutex> lock(T().mutex);
    T().strings[s->id] = s;
}
void RegisterBitmap(const BitmapResource* b) {
    std::lock_guard<std::mutex> lock(T().mutex);
    T().bitmaps[b->id] = b;
}
void RegisterIcon(const IconResource* i) {
    std::lock_guard<std::mutex> lock(T().mutex);
    T().icons[i->id] = i;
}

const DialogTemplate* FindDialog(int id) { return Find(T().dialogs, id); }
const char* FindString(int id) {
    const StringResource* s = Find(T().strings, id);
    return s ? s->text : nullptr;
}
const BitmapResource* FindBitmap(int id) { return Find(T().bitmaps, id); }
const IconResource* FindIcon(int id) { return Find(T().icons, id); }

}  // namespace win32_resources
