// Keeps the library non-empty while components are added.
namespace dv_detail { int placeholder = 0; }
