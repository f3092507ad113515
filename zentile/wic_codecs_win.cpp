// The module's decoders and its JPEG encoder on the Windows Imaging Component, which every
// supported Windows ships.
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <new>

#include "zentile/codecs.h"
#include "zentile/packed_bitmap.h"
#include "zentile/picture_metadata.h"

namespace {

// Owns one COM reference.
template <typename T>
struct Com {
    T* p = nullptr;
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com() { if (p) p->Release(); }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

// COM for the calling thread for the length of one call; a thread that already has an apartment
// keeps it.
struct ComScope {
    HRESULT started = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ~ComScope() { if (SUCCEEDED(started)) CoUninitialize(); }
    bool Usable() const { return SUCCEEDED(started) || started == RPC_E_CHANGED_MODE; }
};

bool MakeFactory(Com<IWICImagingFactory>& factory)
{
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(&factory)));
}

// How a pixel format the decoder gives can be packed here without WIC's converter.
struct KnownFormat {
    const GUID* format;
    RowFormat row;
    bool cmyk;
};

const KnownFormat knownFormats[] = {
    {&GUID_WICPixelFormat24bppBGR, {3, 1, false, true}, false},
    {&GUID_WICPixelFormat24bppRGB, {3, 1, false, false}, false},
    {&GUID_WICPixelFormat32bppBGRA, {4, 1, false, true}, false},
    {&GUID_WICPixelFormat32bppRGBA, {4, 1, false, false}, false},
    {&GUID_WICPixelFormat48bppRGB, {3, 2, false, false}, false},
    {&GUID_WICPixelFormat48bppBGR, {3, 2, false, true}, false},
    {&GUID_WICPixelFormat64bppRGBA, {4, 2, false, false}, false},
    {&GUID_WICPixelFormat64bppBGRA, {4, 2, false, true}, false},
    {&GUID_WICPixelFormat8bppGray, {1, 1, false, false}, false},
    {&GUID_WICPixelFormat16bppGray, {1, 2, false, false}, false},
    {&GUID_WICPixelFormat32bppCMYK, {4, 1, false, false}, true},
};

// Formats WIC's converter is asked for when the decoder's own is not known here, in order: not
// every converter (Wine's among them) produces every format from every source.
const KnownFormat convertedFormats[] = {
    {&GUID_WICPixelFormat32bppBGRA, {4, 1, false, true}, false},
    {&GUID_WICPixelFormat64bppRGBA, {4, 2, false, false}, false},
    {&GUID_WICPixelFormat24bppBGR, {3, 1, false, true}, false},
    {&GUID_WICPixelFormat48bppRGB, {3, 2, false, false}, false},
};

const KnownFormat* FindKnown(const GUID& format)
{
    for (const KnownFormat& known : knownFormats)
        if (IsEqualGUID(*known.format, format)) return &known;
    return nullptr;
}

// Copies the source into the block in strips of rows, converting each row.
bool CopyStrips(IWICBitmapSource* source, const KnownFormat& format, std::uint32_t width, std::uint32_t height,
                std::vector<std::uint8_t>& block)
{
    const std::uint64_t rowBytes = std::uint64_t{width} * (format.cmyk ? 4 : format.row.channels * format.row.bytesPerSample);
    if (rowBytes > 0x7FFFFFFF) return false;
    const std::uint32_t stripRows = static_cast<std::uint32_t>(std::max<std::uint64_t>(1, std::min<std::uint64_t>(height, (8u << 20) / rowBytes)));
    std::vector<std::uint8_t> strip;
    try {
        strip.resize(static_cast<std::size_t>(rowBytes * stripRows));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (std::uint32_t top = 0; top < height; top += stripRows) {
        const std::uint32_t rows = std::min(stripRows, height - top);
        const WICRect area{0, static_cast<INT>(top), static_cast<INT>(width), static_cast<INT>(rows)};
        if (FAILED(source->CopyPixels(&area, static_cast<UINT>(rowBytes), static_cast<UINT>(rowBytes * rows), strip.data())))
            return false;
        for (std::uint32_t i = 0; i < rows; ++i) {
            const std::uint8_t* row = strip.data() + i * rowBytes;
            std::uint8_t* packed = PackedRowFromTop(block, top + i);
            if (format.cmyk) PackCmykRow(row, false, width, packed);
            else PackRow(row, format.row, width, packed);
        }
    }
    return true;
}

bool CopyConverted(IWICImagingFactory* factory, IWICBitmapSource* source, std::uint32_t width, std::uint32_t height,
                   std::vector<std::uint8_t>& block)
{
    for (const KnownFormat& target : convertedFormats) {
        Com<IWICFormatConverter> converter;
        if (FAILED(factory->CreateFormatConverter(&converter))) return false;
        if (FAILED(converter->Initialize(source, *target.format, WICBitmapDitherTypeNone, nullptr, 0.0,
                                         WICBitmapPaletteTypeCustom)))
            continue;
        if (CopyStrips(converter.p, target, width, height, block)) return true;
    }
    return false;
}

FileError ReasonFor(HRESULT result)
{
    if (result == E_OUTOFMEMORY) return FileError::OutOfMemory;
    if (result == WINCODEC_ERR_STREAMREAD || result == HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)) return FileError::Truncated;
    if (result == WINCODEC_ERR_COMPONENTNOTFOUND || result == WINCODEC_ERR_UNKNOWNIMAGEFORMAT) return FileError::NotAPicture;
    return FileError::Damaged;
}

FileError Decode(const GUID& container, const std::uint8_t* data, std::size_t size, int scaleDenominator,
                 std::uint64_t maxPixels, std::vector<std::uint8_t>& block)
{
    block.clear();
    ComScope com;
    Com<IWICImagingFactory> factory;
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    if (size > 0xFFFFFFFF) return FileError::TooLarge;
    if (!com.Usable() || !MakeFactory(factory) || FAILED(factory->CreateStream(&stream)) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size))) ||
        FAILED(factory->CreateDecoder(container, nullptr, &decoder)))
        return FileError::ConverterRefused;
    HRESULT result = decoder->Initialize(stream.p, WICDecodeMetadataCacheOnDemand);
    if (SUCCEEDED(result)) result = decoder->GetFrame(0, &frame);
    if (FAILED(result)) return ReasonFor(result);

    // Decided from the header, before any pixel is decoded or copied.
    UINT width = 0, height = 0;
    if (FAILED(frame->GetSize(&width, &height))) return FileError::Damaged;
    if (!PackedBitmapFits(width, height, maxPixels)) return FileError::TooLarge;
    IWICBitmapSource* source = frame.p;
    Com<IWICBitmapScaler> scaler;
    if (scaleDenominator == 2 || scaleDenominator == 4 || scaleDenominator == 8) {
        const UINT scaledWidth = (width + scaleDenominator - 1) / scaleDenominator;
        const UINT scaledHeight = (height + scaleDenominator - 1) / scaleDenominator;
        if (FAILED(factory->CreateBitmapScaler(&scaler)) ||
            FAILED(scaler->Initialize(frame.p, scaledWidth, scaledHeight, WICBitmapInterpolationModeFant)))
            return FileError::ConverterRefused;
        source = scaler.p;
        width = scaledWidth;
        height = scaledHeight;
    }
    if (!StartPackedBitmap(width, height, maxPixels, block)) return FileError::OutOfMemory;

    WICPixelFormatGUID format;
    bool copied = false;
    if (SUCCEEDED(source->GetPixelFormat(&format))) {
        if (const KnownFormat* known = FindKnown(format)) copied = CopyStrips(source, *known, width, height, block);
        else copied = CopyConverted(factory.p, source, width, height, block);
    }
    if (!copied) block.clear();
    return copied ? FileError::None : FileError::Damaged;
}

// The encoded file's bytes, from the start of the stream.
bool StreamBytes(IStream* memory, std::vector<std::uint8_t>& bytes)
{
    STATSTG status;
    if (FAILED(memory->Stat(&status, STATFLAG_NONAME)) || status.cbSize.QuadPart > 0x7FFFFFFF) return false;
    bytes.resize(static_cast<std::size_t>(status.cbSize.QuadPart));
    const LARGE_INTEGER start{};
    ULONG read = 0;
    return SUCCEEDED(memory->Seek(start, STREAM_SEEK_SET, nullptr)) &&
           SUCCEEDED(memory->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) && read == bytes.size();
}

bool EncodeWithWic(const std::uint8_t* bitmap, std::uint32_t width, std::uint32_t height, int quality, std::vector<std::uint8_t>& jpeg)
{
    ComScope com;
    Com<IWICImagingFactory> factory;
    Com<IStream> memory;
    Com<IWICBitmapEncoder> encoder;
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    if (!com.Usable() || !MakeFactory(factory) || FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &memory)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(memory.p, WICBitmapEncoderNoCache)) || FAILED(encoder->CreateNewFrame(&frame, &options)))
        return false;
    PROPBAG2 option{};
    option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value{};
    value.vt = VT_R4;
    value.fltVal = static_cast<float>(std::clamp(quality, 1, 100)) / 100.0f;
    if (FAILED(options->Write(1, &option, &value)) || FAILED(frame->Initialize(options.p)) || FAILED(frame->SetSize(width, height)))
        return false;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) return false;
    // Rows go top first; the bitmap holds them bottom first.
    const std::uint64_t stride = PackedStride(width);
    for (std::uint32_t y = 0; y < height; ++y) {
        BYTE* row = const_cast<BYTE*>(bitmap + 40 + (height - 1 - y) * stride);
        if (FAILED(frame->WritePixels(1, static_cast<UINT>(stride), static_cast<UINT>(stride), row))) return false;
    }
    return SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit()) && StreamBytes(memory.p, jpeg);
}

void AddSegment(std::vector<std::uint8_t>& segments, std::uint8_t marker, const char* mark, std::size_t markSize,
                const std::uint8_t* data, std::size_t size)
{
    const std::size_t length = 2 + markSize + size;
    segments.insert(segments.end(), {0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
    segments.insert(segments.end(), mark, mark + markSize);
    segments.insert(segments.end(), data, data + size);
}

// The EXIF data in APP1 and the profile in as many APP2 parts as it needs, placed after the start
// of the file and its JFIF segment, where readers look for them.
void InsertMetadata(const std::uint8_t* metadata, std::size_t metadataSize, std::vector<std::uint8_t>& jpeg)
{
    std::vector<std::uint8_t> segments;
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    if (FindRecord(metadata, metadataSize, "eXIf", data, length) && length <= 65533 - 6)
        AddSegment(segments, 0xE1, "Exif\0\0", 6, data, length);
    if (FindRecord(metadata, metadataSize, "iCCP", data, length)) {
        constexpr std::size_t partSize = 65533 - 14;
        const std::size_t parts = (length + partSize - 1) / partSize;
        for (std::size_t n = 0; n < parts && parts <= 255; ++n) {
            const char mark[14] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, static_cast<char>(n + 1), static_cast<char>(parts)};
            AddSegment(segments, 0xE2, mark, 14, data + n * partSize, std::min(partSize, length - n * partSize));
        }
    }
    std::size_t at = 2;
    if (jpeg.size() > 6 && jpeg[2] == 0xFF && jpeg[3] == 0xE0) at = 4 + (jpeg[4] << 8 | jpeg[5]);
    if (at <= jpeg.size()) jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), segments.begin(), segments.end());
}

}  // namespace

FileError DecodeJpeg(const std::uint8_t* data, std::size_t size, int scaleDenominator, std::uint64_t maxPixels,
                     std::vector<std::uint8_t>& block)
{
    return Decode(GUID_ContainerFormatJpeg, data, size, scaleDenominator, maxPixels, block);
}

FileError DecodePng(const std::uint8_t* data, std::size_t size, std::uint64_t maxPixels, std::vector<std::uint8_t>& block)
{
    return Decode(GUID_ContainerFormatPng, data, size, 1, maxPixels, block);
}

bool EncodeJpeg(const std::uint8_t* bitmap, int quality, const std::uint8_t* metadata, std::size_t metadataSize,
                std::vector<std::uint8_t>& jpeg)
{
    jpeg.clear();
    std::uint32_t width = 0, height = 0;
    bool encoded = false;
    try {
        encoded = IsPackedBitmap(bitmap, width, height) && EncodeWithWic(bitmap, width, height, quality, jpeg) && !jpeg.empty();
        if (encoded) InsertMetadata(metadata, metadataSize, jpeg);
    } catch (const std::bad_alloc&) {
        encoded = false;
    }
    if (!encoded) jpeg.clear();
    return encoded;
}
