// A Windows metafile shown as a picture, as the browser shows one.
#pragma once

#include <string>

class QImage;

namespace velm {

// The picture painted on white. Throws FileError naming the problem when
// the bytes are not a metafile.
QImage renderWmfPicture(const std::string& bytes);

} // namespace velm
