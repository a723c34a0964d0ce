// The Windows build has no HTTP library yet: the list menu's lookup says so in the log and
// changes nothing.
#include "external/address_lookup.h"

namespace nicops::external {

void queryExternalAddresses(const ipops::OperationServices&, ipops::OperationHost& host,
                            const settings::SharedSettings&) {
    host.setBusy(true);
    host.appendLog("此版本不含外网IP查询.");
    host.setBusy(false);
}

}  // namespace nicops::external
