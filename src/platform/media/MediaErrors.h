// Result codes of the media layer, named and numbered as the playback engine expects them.
#pragma once

#include "platform/base/WinTypes.h"

namespace orv {

constexpr HRESULT E_FILE_NOT_FOUND = MakeHResult(0x80070002u);

constexpr HRESULT MF_E_INVALIDREQUEST = MakeHResult(0xC00D36B2u);
constexpr HRESULT MF_E_INVALIDSTREAMNUMBER = MakeHResult(0xC00D36B3u);
constexpr HRESULT MF_E_INVALIDMEDIATYPE = MakeHResult(0xC00D36B4u);
constexpr HRESULT MF_E_NOTACCEPTING = MakeHResult(0xC00D36B5u);
constexpr HRESULT MF_E_NOT_INITIALIZED = MakeHResult(0xC00D36B6u);
constexpr HRESULT MF_E_NO_MORE_TYPES = MakeHResult(0xC00D36B9u);
constexpr HRESULT MF_E_UNSUPPORTED_SERVICE = MakeHResult(0xC00D36BAu);
constexpr HRESULT MF_E_UNEXPECTED = MakeHResult(0xC00D36BBu);
constexpr HRESULT MF_E_INVALIDTYPE = MakeHResult(0xC00D36BDu);
constexpr HRESULT MF_E_INVALID_FILE_FORMAT = MakeHResult(0xC00D36BEu);
constexpr HRESULT MF_E_INVALIDINDEX = MakeHResult(0xC00D36BFu);
constexpr HRESULT MF_E_UNSUPPORTED_BYTESTREAM_TYPE = MakeHResult(0xC00D36C4u);
constexpr HRESULT MF_E_UNSUPPORTED_TIME_FORMAT = MakeHResult(0xC00D36C5u);
constexpr HRESULT MF_E_NO_SAMPLE_TIMESTAMP = MakeHResult(0xC00D36C8u);
constexpr HRESULT MF_E_NO_SAMPLE_DURATION = MakeHResult(0xC00D36C9u);
constexpr HRESULT MF_E_NOT_AVAILABLE = MakeHResult(0xC00D36D7u);
constexpr HRESULT MF_E_ATTRIBUTENOTFOUND = MakeHResult(0xC00D36E6u);
constexpr HRESULT MF_E_MULTIPLE_BEGIN = MakeHResult(0xC00D36E9u);
// An activation object asked for an interface it does not make, or unable to make its object.
constexpr HRESULT MF_E_CANNOT_CREATE_SINK = MakeHResult(0xC00D36FAu);
constexpr HRESULT MF_E_SHUTDOWN = MakeHResult(0xC00D3E85u);
constexpr HRESULT MF_E_UNSUPPORTED_RATE = MakeHResult(0xC00D3E8Fu);
constexpr HRESULT MF_E_REVERSE_UNSUPPORTED = MakeHResult(0xC00D3E90u);
constexpr HRESULT MF_E_SAMPLEALLOCATOR_EMPTY = MakeHResult(0xC00D4A3Eu);
constexpr HRESULT MF_E_TOPO_CODEC_NOT_FOUND = MakeHResult(0xC00D5212u);
constexpr HRESULT MF_E_TOPO_UNSUPPORTED = MakeHResult(0xC00D5214u);
constexpr HRESULT MF_E_TRANSFORM_TYPE_NOT_SET = MakeHResult(0xC00D6D60u);
constexpr HRESULT MF_E_TRANSFORM_STREAM_CHANGE = MakeHResult(0xC00D6D61u);
constexpr HRESULT MF_E_TRANSFORM_NEED_MORE_INPUT = MakeHResult(0xC00D6D72u);
// This layer's own: a read of the movie failed (an I/O error, a pulled card) or stalled.
constexpr HRESULT MF_E_SOURCE_READ_ERROR = MakeHResult(0xC00D7001u);

}  // namespace orv
