// Keeps the library non-empty while components are added.
namespace media_detail { int placeholder = 0; }
