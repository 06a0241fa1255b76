// The capture panel's dialog: its template, its state before any device is
// found, Enter and Escape, and the enable pass of the transport buttons.
#include <QApplication>

#include "paneltest.h"
#include "testsupport/decktest.h"
#include "win32/resources.h"

using namespace paneltest;

namespace {

const int kTransport[] = {IDC_PLAY,         IDC_PAUSE,        IDC_STOP,
                          IDC_FAST_FORWARD, IDC_REWIND,       IDC_STEP_FORWARD,
                          IDC_STEP_REVERSE, IDC_SLOW_REVERSE, IDC_SLOW_FORWARD};

class DialogTest : public PanelTest {};

const win32_resources::DialogItem* Item(const win32_resources::DialogTemplate* t, int id) {
    for (int i = 0; i < t->item_count; ++i)
        if (t->items[i].id == id) return &t->items[i];
    return nullptr;
}

}  // namespace

TEST(PanelTemplate, ControlsStylesAndTabOrder) {
    const win32_resources::DialogTemplate* t = win32_resources::FindDialog(IDD_CAPTURE_PANEL);
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(static_cast<DWORD>(WS_CHILD | DS_MODALFRAME | DS_SETFONT), t->style);
    EXPECT_EQ(440, t->cx);
    EXPECT_EQ(115, t->cy);
    EXPECT_STREQ("MS Sans Serif", t->font_face);
    EXPECT_EQ(8, t->font_points);

    // The transport row: one button every 22 units, stop first and
    // starting a group.
    const int order[] = {IDC_STOP,  IDC_SLOW_REVERSE, IDC_REWIND,
                         IDC_PLAY,  IDC_FAST_FORWARD, IDC_SLOW_FORWARD,
                         IDC_PAUSE, IDC_STEP_REVERSE, IDC_STEP_FORWARD};
    int previous = -1;
    for (int i = 0; i < 9; ++i) {
        const auto* item = Item(t, order[i]);
        ASSERT_NE(nullptr, item) << order[i];
        EXPECT_EQ(15 + 22 * i, item->x);
        EXPECT_EQ(67, item->y);
        EXPECT_EQ(20, item->cx);
        EXPECT_EQ(14, item->cy);
        EXPECT_EQ(static_cast<DWORD>(BS_OWNERDRAW), item->style & BS_TYPEMASK);
        EXPECT_TRUE(item->style & WS_TABSTOP);
        EXPECT_EQ(i == 0, (item->style & WS_GROUP) != 0);
        const int index = static_cast<int>(item - t->items);
        EXPECT_GT(index, previous);  // tab order left to right
        previous = index;
    }
    const auto* capture = Item(t, IDC_CAPTURE);
    ASSERT_NE(nullptr, capture);
    EXPECT_TRUE(capture->style & WS_GROUP);
    EXPECT_STREQ("Capture", capture->text);
    EXPECT_EQ(365, capture->x);
    EXPECT_EQ(89, capture->y);

    // Tab stops on the combo boxes, the edit and every button; the statics
    // take none.
    for (int id : {IDC_DEVICE, IDC_FILE_TYPE, IDC_CAPTURE_FILE, IDC_BROWSE, IDC_CAPTURE})
        EXPECT_TRUE(Item(t, id)->style & WS_TABSTOP) << id;
    for (int id :
         {IDC_DEVICE_TYPE, IDC_TRANSPORT_MODE, IDC_TIMECODE, IDC_DROPPED, IDC_CAPTURED, IDC_BANNER})
        EXPECT_FALSE(Item(t, id)->style & WS_TABSTOP) << id;
    EXPECT_TRUE(Item(t, IDC_CAPTURE_FILE)->style & ES_READONLY);
    EXPECT_EQ(static_cast<DWORD>(CBS_DROPDOWNLIST), Item(t, IDC_DEVICE)->style & CBS_DROPDOWNLIST);
    EXPECT_TRUE(Item(t, IDC_DEVICE_TYPE)->style & SS_SUNKEN);
}

TEST_F(DialogTest, BeforeAnyDeviceIsFoundEverythingWaits) {
    decktest::Configure("");
    Open();
    EXPECT_EQ(std::vector<std::string>{"No Supported DV Devices Found"}, Items(IDC_DEVICE));
    EXPECT_EQ(0, Selection(IDC_DEVICE));
    EXPECT_EQ("No Supported DV Devices Found", Text(IDC_DEVICE_TYPE));
    EXPECT_EQ("0 Frames", Text(IDC_DROPPED));
    EXPECT_EQ("0 Frames", Text(IDC_CAPTURED));
    EXPECT_EQ((std::vector<std::string>{"Type-1 DV AVI File", "Type-2 DV AVI File"}),
              Items(IDC_FILE_TYPE));
    EXPECT_EQ(1, Selection(IDC_FILE_TYPE));  // first start: Type-2
    for (int id : {IDC_DEVICE, IDC_CAPTURE, IDC_FILE_TYPE, IDC_BROWSE})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ("Capture", Text(IDC_CAPTURE));

    // The output file's end is in view: the caret stands after the last
    // character.
    const std::string name = Text(IDC_CAPTURE_FILE);
    EXPECT_EQ(m_temp + "/Tapeloom00000.avi", name);
    DWORD start = 0, end = 0;
    SendDlgItemMessage(m_panel->m_hWnd, IDC_CAPTURE_FILE, EM_GETSEL,
                       reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(name.size(), start);
    EXPECT_EQ(name.size(), end);

    // The first enable pass disables the transport: there is no device.
    Pump(300);
    for (int id : kTransport) EXPECT_FALSE(Enabled(id)) << id;
    // The scan found nothing: the texts stay.
    EXPECT_EQ("No Supported DV Devices Found", Text(IDC_DEVICE_TYPE));
    Shot("state-no-device.png");

    // Enter and Escape do not close the panel.
    SendMessage(m_panel->m_hWnd, WM_COMMAND, IDOK, 0);
    SendMessage(m_panel->m_hWnd, WM_COMMAND, IDCANCEL, 0);
    Pump(50);
    EXPECT_TRUE(IsWindow(m_panel->m_hWnd));
    Close();
    // Nothing was recorded into the output file: it is not left behind.
    EXPECT_FALSE(enginetest::Exists(name));
}
