#include "ui/app_identity.h"

#ifndef NICOPS_VERSION
#define NICOPS_VERSION "0.0.0"
#endif
#ifndef NICOPS_EXCHANGE_URL
#define NICOPS_EXCHANGE_URL ""
#endif
#ifndef NICOPS_ISSUES_URL
#define NICOPS_ISSUES_URL ""
#endif

namespace nicops::ui {

std::string appBanner() {
    return std::string("nicops ") + NICOPS_VERSION + " 多IP网卡管理工具";
}

std::string aboutText() {
    return std::string("nicops ") + NICOPS_VERSION +
           "\r\n多IP网卡管理工具：批量添加、删除、保存网卡IP地址，查询外网IP。\r\n许可证：MIT";
}

LinkLabel exchangeLink() {
    return {"用户交流", NICOPS_EXCHANGE_URL};
}
LinkLabel issuesLink() {
    return {"提交问题", NICOPS_ISSUES_URL};
}

}  // namespace nicops::ui
