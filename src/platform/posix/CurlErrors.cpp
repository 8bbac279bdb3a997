#include "platform/posix/CurlErrors.h"

namespace PosixBackEnd {

std::uint32_t WinInetError(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_CONNECT:
        return ErrorInternetCannotConnect;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return ErrorInternetNameNotResolved;
    case CURLE_OPERATION_TIMEDOUT:
        return ErrorInternetTimeout;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return ErrorInternetInvalidCa;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
        return ErrorInternetSecurityChannelError;
    case CURLE_URL_MALFORMAT:
        return ErrorInternetInvalidUrl;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return ErrorInternetUnrecognizedScheme;
    case CURLE_OUT_OF_MEMORY:
        return ErrorNotEnoughMemory;
    case CURLE_ABORTED_BY_CALLBACK:
        return ErrorInternetOperationCancelled;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_BAD_CONTENT_ENCODING:
        return ErrorHttpInvalidServerResponse;
    default:
        // Sending or receiving failed, the body was cut short, or anything
        // else that ends an open connection.
        return ErrorInternetConnectionAborted;
    }
}

}  // namespace PosixBackEnd
