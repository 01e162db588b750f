#pragma once
// The look-in tree's 16x16 images, drawn in code: a database symbol with a green mark for a
// connected server, with a red mark for an unavailable one, and plain for a database.

#include <QIcon>

namespace TreeImages {

inline constexpr int kConnectedServer = 0;
inline constexpr int kUnavailableServer = 1;
inline constexpr int kDatabase = 2;
inline constexpr int kCount = 3;

// The image at an index of the list; made once per process. Null icon for other indices.
QIcon Get(int nIndex);

} // namespace TreeImages
