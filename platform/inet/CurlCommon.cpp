#include "platform/inet/CurlCommon.h"

#include <curl/curl.h>

#include <mutex>

#if ORVANE_INET_HAS_WINDOW_LAYER
#include "platform/win/Win.h"
#endif

void InitialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool ThreadAskedToStop()
{
#if ORVANE_INET_HAS_WINDOW_LAYER
    return IsStopRequested();
#else
    return false;
#endif
}
