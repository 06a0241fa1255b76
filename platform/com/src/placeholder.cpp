// Keeps the library non-empty while components are added.
namespace com_detail { int placeholder = 0; }
