#include "app/nas/nas_web_api.h"

#include <tinyxml2.h>

#include "platform/utf.h"
#include "platform/win_error.h"

namespace nas {
namespace {

constexpr char kUsersPath[] = "/index.php/mv_global/get_users";
constexpr char kLoginPath[] = "/index.php/mv_login/validate_user";
constexpr char kUsersAccept[] =
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
// The trailing semicolon is what the NAS has always been sent.
constexpr char kLoginContentType[] = "Content-Type: application/x-www-form-urlencoded;";
constexpr long kStatusOk = 200;

std::string nasUrl(const NasContext& context, const NasWebApiSettings& settings, const char* path) {
    std::string url = "http://" + context.strAddress.ToUtf8();
    if (settings.port != 80)
        url += ":" + std::to_string(settings.port);
    return url + path;
}

bool isFormSafe(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

}  // namespace

std::string TakeBodyChunks(std::string_view raw) {
    std::string taken;
    taken.reserve(raw.size());
    for (std::size_t offset = 0; offset < raw.size(); offset += kBodyChunkBytes) {
        std::string_view chunk = raw.substr(offset, kBodyChunkBytes);
        taken.append(chunk.substr(0, chunk.find('\0')));
    }
    return taken;
}

int ParseUserList(std::string_view xml, std::vector<LBString>& users) {
    tinyxml2::XMLDocument document;
    if (document.Parse(xml.data(), xml.size()) != tinyxml2::XML_SUCCESS)
        return 0;
    const tinyxml2::XMLElement* root = document.RootElement();
    if (!root)
        return 0;
    for (const tinyxml2::XMLElement* child = root->FirstChildElement(); child;
         child = child->NextSiblingElement()) {
        const char* name = child->Attribute("username");
        if (name && *name)
            users.push_back(LBString::FromUtf8(name));
    }
    return 1;
}

std::string PercentEncodeFormValue(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(utf8.size());
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (isFormSafe(byte)) {
            encoded.push_back(c);
        } else {
            encoded.push_back('%');
            encoded.push_back(kHex[byte >> 4]);
            encoded.push_back(kHex[byte & 0x0F]);
        }
    }
    return encoded;
}

std::optional<std::string> BuildLoginBody(const LBString& user, const LBString& password) {
    std::string body = "username=" + PercentEncodeFormValue(user.ToUtf8()) +
                       "&password=" + PercentEncodeFormValue(password.ToUtf8()) + "&retToken=1";
    if (body.size() > kMaxLoginBodyBytes)
        return std::nullopt;
    return body;
}

int GetUsers(const NasContext& context, std::vector<LBString>& users,
             const NasWebApiSettings& settings) {
    HttpRequest request;
    request.url = nasUrl(context, settings, kUsersPath);
    request.headers.push_back(kUsersAccept);
    const HttpResponse response = performHttpRequest(request, settings.users, settings.retryWait);
    if (!response.completed || response.status < 200 || response.status > 299)
        return 0;
    // Bytes that are not UTF-8 become U+FFFD here, as the text passes through wide form.
    const std::string text =
        platform::utf16ToUtf8(platform::utf8ToUtf16(TakeBodyChunks(response.body)));
    return ParseUserList(text, users);
}

int GetWebAppUrl(const NasContext& context, LBString& url, const NasWebApiSettings& settings) {
    url.Empty();
    long status = 404;
    if (std::optional<std::string> body =
            BuildLoginBody(context.strUserName, context.strPassword)) {
        HttpRequest request;
        request.method = "POST";
        request.url = nasUrl(context, settings, kLoginPath);
        request.headers.push_back(kLoginContentType);
        request.body = std::move(*body);
        request.bypassCache = true;
        const HttpResponse response =
            performHttpRequest(request, settings.login, settings.retryWait);
        if (response.status != 0)
            status = response.status;
        if (status == kStatusOk) {
            url = LBString::FromUtf16(platform::utf8ToUtf16(TakeBodyChunks(response.body)));
            // An answer cut short is no address to open.
            if (!response.completed)
                status = 0;
        } else if (response.status != 0) {
            url = LBString(u"http://") + context.strAddress;
        }
    }
    url.TrimLeft();
    if (status != kStatusOk || url.GetLength() < 7)
        return 0;
    return url.Left(7).CompareNoCase(u"HTTP://") == 0 ? 1 : 0;
}

int32_t ValidateUser(const NasContext& context, const LBString& user, const LBString& password,
                     const NasWebApiSettings& settings) {
    NasContext asking = context;
    asking.strUserName = user;
    asking.strPassword = password;
    LBString url;
    if (GetWebAppUrl(asking, url, settings) == 1)
        return platform::kNoError;
    // GetWebAppUrl leaves nothing when no answer came, and something for any answer.
    return url.IsEmpty() ? platform::kErrorBadNetPath : platform::kErrorLogonFailure;
}

}  // namespace nas
