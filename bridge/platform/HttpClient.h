// The HTTP client object the web-service bridge creates by name, as "SOFTWING.ASPtear"
// was on the original platform: three properties, one Retrieve method, failures raised
// with the numbers the component records. Beyond the original it never talks anything
// but verified HTTPS, never follows a redirect, and bounds the whole call and the body.
#pragma once

#include <cstddef>
#include <string_view>

namespace trellybridge::platform {

inline constexpr const char* kHttpClientProgId = "SOFTWING.ASPtear";

// The numbers Retrieve raises.
namespace http_error {
inline constexpr int kUndetermined = 2;  // connection, TLS, HTTP status, body limit
inline constexpr int kTimedOut = 20;
inline constexpr int kBadAddress = 21;
inline constexpr int kRedirectWithoutDestination = 24;
inline constexpr int kRedirectWithDestination = 25;
// How the text of a failure begins when the body stopped before its announced end.
inline constexpr std::string_view kCutOffAnswer = "the answer was cut off";
}  // namespace http_error

// Members, in interface order:
//   ConnectionTimeout   ms for the connection and the TLS handshake (default 10000)
//   ForceReload         Boolean: ask caches along the way for a fresh answer
//   SendClientCertificate  Boolean: present TRELLYBRIDGE_CLIENT_CERT (PEM or PKCS#12)
//                       with TRELLYBRIDGE_CLIENT_KEY (PEM; optional when the
//                       certificate file holds the key)
//   Timeout             ms for the whole call, connection included (default 30000)
//   MaxResponseBytes    the most body accepted (default 1 MiB)
//   Retrieve(address, type, data, user, password) -> the body as text. The data
//                       travels as a form body (POST) whatever the type, so that it
//                       stays out of the servers' access logs; a non-empty user sends
//                       basic credentials. Peers are verified against the system's CAs,
//                       or TRELLYBRIDGE_CA_FILE when set. A status outside 2xx fails.
// Registers the factory once per process, unless a host or a test registered its own.
void registerHttpClient();

}  // namespace trellybridge::platform
