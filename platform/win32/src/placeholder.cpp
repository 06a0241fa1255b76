// Keeps the library non-empty while components are added.
namespace win32_detail { int placeholder = 0; }
