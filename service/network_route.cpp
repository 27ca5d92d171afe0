#include "network_route.h"

#include "text.h"

#include <windows.h>

#include <winhttp.h>

#include <map>
#include <mutex>

namespace {

std::mutex lock;
std::optional<NetworkRoute> fixed;
std::map<std::wstring, NetworkRoute> found;

std::string owned_text(LPWSTR text) {
  if (!text)
    return {};
  std::string narrow = text::narrow(text);
  GlobalFree(text);
  return narrow;
}

struct UserSettings {
  bool auto_detect = false;
  std::wstring script;
  std::string proxy;
  std::string bypass;
};

UserSettings user_settings() {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  UserSettings settings;
  if (!WinHttpGetIEProxyConfigForCurrentUser(&config))
    return settings;
  settings.auto_detect = config.fAutoDetect;
  if (config.lpszAutoConfigUrl) {
    settings.script = config.lpszAutoConfigUrl;
    GlobalFree(config.lpszAutoConfigUrl);
  }
  settings.proxy = owned_text(config.lpszProxy);
  settings.bypass = owned_text(config.lpszProxyBypass);
  return settings;
}

// What a configuration script or automatic detection says for `url`; nothing when neither answers.
std::optional<NetworkRoute> scripted_route(const std::wstring &url, const UserSettings &settings) {
  HINTERNET session = WinHttpOpen(L"Velacorte", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
  if (!session)
    return std::nullopt;
  WINHTTP_AUTOPROXY_OPTIONS options{};
  options.fAutoLogonIfChallenged = TRUE;
  if (!settings.script.empty()) {
    options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
    options.lpszAutoConfigUrl = settings.script.c_str();
  } else {
    options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
    options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  }
  WINHTTP_PROXY_INFO info{};
  BOOL answered = WinHttpGetProxyForUrl(session, url.c_str(), &options, &info);
  WinHttpCloseHandle(session);
  if (!answered)
    return std::nullopt;
  NetworkRoute route;
  route.proxy = owned_text(info.lpszProxy);
  route.bypass = owned_text(info.lpszProxyBypass);
  if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY)
    route.proxy.clear();
  route.origin = settings.script.empty() ? "detecção automática"
                                         : "script de configuração " + text::narrow(settings.script);
  return route;
}

NetworkRoute system_route(const std::wstring &url) {
  UserSettings settings = user_settings();
  if (settings.auto_detect || !settings.script.empty())
    if (std::optional<NetworkRoute> route = scripted_route(url, settings))
      return *route;
  if (!settings.proxy.empty())
    return {settings.proxy, settings.bypass, "configurações de Internet do usuário"};
  WINHTTP_PROXY_INFO machine{};
  if (WinHttpGetDefaultProxyConfiguration(&machine)) {
    NetworkRoute route{owned_text(machine.lpszProxy), owned_text(machine.lpszProxyBypass),
                       "configuração WinHTTP da máquina"};
    if (machine.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !route.proxy.empty())
      return route;
  }
  return {"", "", "sem proxy configurado"};
}

// Scheme, host and port: what the route depends on.
std::wstring route_key(const std::wstring &url) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof(parts);
  parts.dwSchemeLength = parts.dwHostNameLength = DWORD(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts))
    return url;
  return std::wstring(parts.lpszScheme, parts.dwSchemeLength) + L"://" +
         std::wstring(parts.lpszHostName, parts.dwHostNameLength) + L":" + std::to_wstring(parts.nPort);
}

} // namespace

void fix_network_route(const NetworkRoute &route) {
  std::lock_guard<std::mutex> hold(lock);
  fixed = route;
}

NetworkRoute network_route_for(const std::string &url) {
  std::lock_guard<std::mutex> hold(lock);
  if (fixed)
    return *fixed;
  std::wstring wide = text::widen(url);
  std::wstring key = route_key(wide);
  auto known = found.find(key);
  if (known != found.end())
    return known->second;
  return found[key] = system_route(wide);
}

std::string describe(const NetworkRoute &route) {
  std::string text = route.direct() ? "direto" : "proxy " + route.proxy;
  if (!route.direct() && !route.bypass.empty())
    text += ", exceto " + route.bypass;
  return text + " (" + route.origin + ")";
}
