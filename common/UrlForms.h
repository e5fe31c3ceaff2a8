// The engine's one normal form of URLs and the site key of a URL.
#pragma once

#include <string>

namespace vx {

// InternetCanonicalizeUrlA (decoded, browser mode) on the narrowed URL; '\'
// becomes '/', and a "file:" URL gets one more '/' after the scheme. When the
// platform cannot canonicalise, the narrowed URL comes back unchanged.
std::wstring CanonicalUrl(const wchar_t* url);

// The host name (or the whole URL when it has none or cannot be parsed),
// emptied when 3 characters or shorter, and cut to ".domain.com" (likewise
// .org, .net) when the host has a sub-domain. An unparsable URL is logged
// as "Marklor CrackURL Error...".
std::wstring SiteKey(const wchar_t* url);

// The host name of a URL in lower case, or "" when it has none or cannot be
// parsed. Nothing is logged.
std::wstring UrlHost(const wchar_t* url);

// Whether a (lower-case) host lies on a site: it is the site, or ends with
// "." and the site. A site key's leading dot is no part of the name; a site
// key shorter than 4 characters never matches.
bool IsHostOnSite(const std::wstring& host, const std::wstring& siteKey);

} // namespace vx
