// Scenes for the documentation's pictures (scripts/screenshot), played once start-up has run,
// when the list's rows are there. NICOPS_SCREENSHOT_SCENE chooses one:
//   menu          the list menu open over the list (also NICOPS_SCREENSHOT_MENU=1)
//   add-dialog    the add dialog, with range preset ① loaded
//   add-finished  192.168.1.{40-45} added through the add dialog; the log shows the run
//   settings-menu the settings window with the copy-format box's placeholder menu open
//   tcpip-dhcp    the TCP/IPv4 properties dialog of "以太网 2" (automatic addressing)
//   tcpip-static  the same of "以太网" (static addressing)
//   lookup-finished the list menu's "查询所有网卡IP对应外网IP" run (the script waits for the
//                 answers); the list's 外网IP column is filled
// Without either variable nothing happens.
#pragma once

namespace nicops::ui::qt {

class QtMainView;

void playScreenshotScene(QtMainView& view);

}  // namespace nicops::ui::qt
