// The Linux build links libcurl: the table points at its functions.
#include "external/http_library.h"

namespace nicops::external {

const HttpLibrary* httpLibrary() {
    static const HttpLibrary linked{
        &curl_global_init,   &curl_easy_init,        &curl_easy_setopt,
        &curl_easy_perform,  &curl_easy_getinfo,     &curl_easy_cleanup,
        &curl_multi_init,    &curl_multi_add_handle, &curl_multi_remove_handle,
        &curl_multi_perform, &curl_multi_info_read,  &curl_multi_poll,
        &curl_multi_cleanup};
    static const bool initialised = linked.globalInit(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return initialised ? &linked : nullptr;
}

}  // namespace nicops::external
