#include "content/obf/obffetch.h"

#include "platform/common/lazylibrary.h"
#include "platform/files.h"

#include <curl/curl.h>

#include <memory>

namespace {

template <typename T> T CurlFunction(const char* name)
{
    static platform::LazyLibrary library(
        "libcurl.so.4", "Web pictures", "; pictures given by a web address are not fetched", false);
    return reinterpret_cast<T>(library.Symbol(name));
}

struct TCurl {
    decltype(&curl_easy_init) Init = CurlFunction<decltype(&curl_easy_init)>("curl_easy_init");
    decltype(&curl_easy_setopt) SetOption =
        CurlFunction<decltype(&curl_easy_setopt)>("curl_easy_setopt");
    decltype(&curl_easy_perform) Perform =
        CurlFunction<decltype(&curl_easy_perform)>("curl_easy_perform");
    decltype(&curl_easy_cleanup) Cleanup =
        CurlFunction<decltype(&curl_easy_cleanup)>("curl_easy_cleanup");
    decltype(&curl_easy_strerror) Error =
        CurlFunction<decltype(&curl_easy_strerror)>("curl_easy_strerror");

    bool Loaded() const { return Init && SetOption && Perform && Cleanup && Error; }
};

const TCurl& Curl()
{
    static const TCurl functions;
    return functions;
}

struct TTransfer {
    std::string* Bytes;
    std::size_t MaxBytes;
};

std::size_t Receive(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* transfer = static_cast<TTransfer*>(user);
    const std::size_t length = size * count;
    if (transfer->Bytes->size() + length > transfer->MaxBytes)
        return 0;  // stops the transfer
    transfer->Bytes->append(data, length);
    return length;
}

bool IsNetworkDown(CURLcode code)
{
    return code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY ||
        code == CURLE_COULDNT_CONNECT || code == CURLE_OPERATION_TIMEDOUT;
}

}  // namespace

bool CTQObfFetch::IsHttps(const std::string& url)
{
    return platform::AsciiLower(url.substr(0, 8)) == "https://";
}

TObfFetcher CTQObfFetch::Make()
{
    struct TState {
        bool Offline = false;
        int Fetches = 0;
    };
    auto state = std::make_shared<TState>();
    return [state](const std::string& url, std::size_t maxBytes, std::string& bytes,
                   std::string& why) {
        bytes.clear();
        if (!IsHttps(url)) {
            why = "only https addresses are fetched";
            return false;
        }
        if (state->Offline) {
            why = "the computer seems to be offline";
            return false;
        }
        if (++state->Fetches > MaxFetches) {
            why = "more than " + std::to_string(MaxFetches) + " web pictures and sounds";
            return false;
        }
        const TCurl& curl = Curl();
        if (!curl.Loaded()) {
            why = "libcurl is missing";
            return false;
        }
        CURL* handle = curl.Init();
        if (!handle) {
            why = "libcurl cannot start";
            return false;
        }
        TTransfer transfer{ &bytes, maxBytes };
        curl.SetOption(handle, CURLOPT_URL, url.c_str());
        curl.SetOption(handle, CURLOPT_PROTOCOLS_STR, "https");
        curl.SetOption(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
        curl.SetOption(handle, CURLOPT_FOLLOWLOCATION, 1L);
        curl.SetOption(handle, CURLOPT_MAXREDIRS, 3L);
        curl.SetOption(handle, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
        curl.SetOption(handle, CURLOPT_TIMEOUT, TimeoutSeconds);
        curl.SetOption(handle, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(maxBytes));
        curl.SetOption(handle, CURLOPT_NOSIGNAL, 1L);
        curl.SetOption(handle, CURLOPT_FAILONERROR, 1L);
        curl.SetOption(handle, CURLOPT_WRITEFUNCTION, Receive);
        curl.SetOption(handle, CURLOPT_WRITEDATA, &transfer);
        const CURLcode code = curl.Perform(handle);
        curl.Cleanup(handle);
        if (code == CURLE_OK)
            return true;
        bytes.clear();
        if (IsNetworkDown(code))
            state->Offline = true;
        why = code == CURLE_WRITE_ERROR || code == CURLE_FILESIZE_EXCEEDED
            ? "larger than the limit"
            : std::string("not fetched: ") + curl.Error(code);
        return false;
    };
}
