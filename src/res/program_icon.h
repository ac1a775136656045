// The program icon, drawn from one description: the window's icon, and the SVG and PNG files that are
// installed for the desktop's menu, come from the same shapes.
#pragma once

#include <QIcon>
#include <QImage>
#include <string>

namespace res {

QImage ProgramIconImage(int size);  // painted at size x size pixels
QIcon ProgramIcon();                // painted at each size asked for
std::string ProgramIconSvg();       // the scalable form
}  // namespace res
