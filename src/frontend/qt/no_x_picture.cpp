// Builds without the XCB headers: no picture on the server, Qt paints it.
#include "frontend/qt/x_picture.h"

namespace koru {

struct XPicture::Server {};

bool XPicture::Available() { return false; }
std::unique_ptr<XPicture> XPicture::Create(QWidget*) { return nullptr; }
XPicture::XPicture(std::unique_ptr<Server> server) : server_(std::move(server)) {}
XPicture::~XPicture() = default;
void XPicture::Send(const uint32_t*, int, int, int) {}
void XPicture::Show(int, int) {}

}  // namespace koru
