#include "playback/engine/HResultText.h"

#include <cstdint>
#include <cstdio>

#include "platform/base/ErrorReport.h"

namespace orv {

const char* g_pszCodecText = nullptr;

namespace {

// The filter graph could not find a codec or splitter for the stream.
constexpr HRESULT kNoCodec = MakeHResult(0x80040200u);

struct NamedCode {
    HRESULT code;
    const char* name;
};

constexpr NamedCode kNamedCodes[] = {
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {E_INVALIDARG, "E_INVALIDARG"},
    {VFW_E_WRONG_STATE, "VFW_E_WRONG_STATE"},
    {E_POINTER, "E_POINTER"},
    {E_NOTIMPL, "E_NOTIMPL"},
    {E_NOINTERFACE, "E_NOINTERFACE"},
    {VFW_E_NOT_CONNECTED, "VFW_E_NOT_CONNECTED"},
};

}  // namespace

std::string HResultText(HRESULT hr) {
    for (const NamedCode& named : kNamedCodes) {
        if (named.code == hr) return named.name;
    }
    if (hr == kNoCodec && g_pszCodecText && *g_pszCodecText) return g_pszCodecText;
    char text[32];
    std::snprintf(text, sizeof text, "Unknown 0x%x", static_cast<unsigned>(static_cast<std::uint32_t>(hr)));
    return text;
}

int ShowHResult(HRESULT hr) {
    if (SUCCEEDED(hr)) return 1;
    ReportError("ERROR", HResultText(hr));
    return 0;
}

}  // namespace orv
