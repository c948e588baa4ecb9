// Conversion cost of vecraster-32.dll: milliseconds per call at 96 and 300 dpi, the same render
// and save in one long-lived GDI+ session (the floor), their ratio (the cost of each call's own
// GDI+ start-up, image loading and encoder lookup), and calls per second on 1 and 2 threads.
#include "bench_clock.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <jni.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

using VecrasterFunction = jstring(JNICALL*)(JNIEnv*, jclass, jstring, jstring, jdouble);

// The name a JVM of this bitness looks up.
#ifdef _WIN64
constexpr char export_name[] = "Java_com_tandrel_vantor_1ext_vecraster_VECRASTER_vecraster";
#else
constexpr char export_name[] = "_Java_com_tandrel_vantor_1ext_vecraster_VECRASTER_vecraster@24";
#endif

// Java strings of this program: a pointer to a NUL-terminated wide text.
jsize JNICALL string_length(JNIEnv*, jstring s)
{
    return static_cast<jsize>(wcslen(reinterpret_cast<const wchar_t*>(s)));
}
const jchar* JNICALL string_chars(JNIEnv*, jstring s, jboolean*)
{
    return reinterpret_cast<const jchar*>(s);
}
void JNICALL release_chars(JNIEnv*, jstring, const jchar*) {}
jstring JNICALL new_string(JNIEnv*, const jchar* units, jsize)
{
    return reinterpret_cast<jstring>(const_cast<jchar*>(units));  // the library's texts are static
}

JNINativeInterface_ make_table()
{
    JNINativeInterface_ table{};
    table.NewString = new_string;
    table.GetStringLength = string_length;
    table.GetStringChars = string_chars;
    table.ReleaseStringChars = release_chars;
    return table;
}
const JNINativeInterface_ table = make_table();

std::wstring folder_of_program()
{
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\'));
}

double now_ms()
{
    return seconds_now() * 1000.0;
}

// A 960 x 720 picture of many small filled shapes; answers its record count.
DWORD write_picture(const std::wstring& path)
{
    HDC dc = CreateEnhMetaFileW(nullptr, path.c_str(), nullptr, nullptr);
    SelectObject(dc, GetStockObject(NULL_PEN));
    for (int i = 0; i < 100; ++i) {
        HBRUSH brush = CreateSolidBrush(RGB(i * 37 % 256, i * 91 % 256, i * 53 % 256));
        HGDIOBJ previous = SelectObject(dc, brush);
        int x = i % 10 * 96, y = i / 10 * 72;
        switch (i % 3) {
        case 0:
            Rectangle(dc, x + 4, y + 4, x + 90, y + 66);
            break;
        case 1:
            Ellipse(dc, x + 4, y + 4, x + 90, y + 66);
            break;
        default: {
            POINT points[] = {{x + 48, y + 4}, {x + 90, y + 66}, {x + 4, y + 66}};
            Polygon(dc, points, 3);
        }
        }
        SelectObject(dc, previous);
        DeleteObject(brush);
    }
    HENHMETAFILE emf = CloseEnhMetaFile(dc);
    ENHMETAHEADER header{};
    GetEnhMetaFileHeader(emf, sizeof(header), &header);
    DeleteEnhMetaFile(emf);
    return header.nRecords;
}

struct Converter {
    VecrasterFunction function;
    bool convert(const std::wstring& input, const std::wstring& output, double dpi) const
    {
        JNIEnv env{&table};
        jstring error = function(&env, nullptr, reinterpret_cast<jstring>(const_cast<wchar_t*>(input.c_str())),
                                 reinterpret_cast<jstring>(const_cast<wchar_t*>(output.c_str())), dpi);
        if (error != nullptr)
            fwprintf(stderr, L"conversion failed: %ls\n", reinterpret_cast<const wchar_t*>(error));
        return error == nullptr;
    }
};

double per_call_ms(const Converter& converter, const std::wstring& input, const std::wstring& output, double dpi, int calls)
{
    double start = now_ms();
    for (int i = 0; i < calls; ++i)
        converter.convert(input, output, dpi);
    return (now_ms() - start) / calls;
}

// The same drawing and saving with GDI+ running, the picture loaded and the encoder found once.
double floor_ms(const std::wstring& input, const std::wstring& output, double dpi, int calls)
{
    GpImage* source = nullptr;
    GdipLoadImageFromFile(input.c_str(), &source);
    UINT width = 0, height = 0;
    REAL dpi_x = 0, dpi_y = 0;
    GdipGetImageWidth(source, &width);
    GdipGetImageHeight(source, &height);
    GdipGetImageHorizontalResolution(source, &dpi_x);
    GdipGetImageVerticalResolution(source, &dpi_y);
    INT w = static_cast<INT>(width * (dpi / dpi_x) + 0.5), h = static_cast<INT>(height * (dpi / dpi_y) + 0.5);
    UINT count = 0, size = 0;
    GdipGetImageEncodersSize(&count, &size);
    std::vector<char> buffer(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    GdipGetImageEncoders(count, size, codecs);
    CLSID png{};
    for (UINT i = 0; i < count; ++i)
        if (wcscmp(codecs[i].MimeType, L"image/png") == 0)
            png = codecs[i].Clsid;

    double start = now_ms();
    for (int i = 0; i < calls; ++i) {
        GpBitmap* bitmap = nullptr;
        GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, &bitmap);
        GpGraphics* graphics = nullptr;
        GdipGetImageGraphicsContext(bitmap, &graphics);
        GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
        GdipSetSmoothingMode(graphics, SmoothingModeHighQuality);
        GdipSetTextRenderingHint(graphics, TextRenderingHintClearTypeGridFit);
        GdipGraphicsClear(graphics, 0x00FFFFFF);
        GdipDrawImageRectI(graphics, source, 0, 0, w, h);
        GdipBitmapSetResolution(bitmap, static_cast<REAL>(dpi), static_cast<REAL>(dpi));
        GdipSaveImageToFile(bitmap, output.c_str(), &png, nullptr);
        GdipDeleteGraphics(graphics);
        GdipDisposeImage(bitmap);
    }
    double elapsed = (now_ms() - start) / calls;
    GdipDisposeImage(source);
    return elapsed;
}

double calls_per_second(const Converter& converter, const std::wstring& folder, const std::wstring& input, int threads,
                        int calls_each)
{
    double start = now_ms();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            std::wstring output = folder + L"\\bench_thread" + std::to_wstring(t) + L".png";
            for (int i = 0; i < calls_each; ++i)
                converter.convert(input, output, 96.0);
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    return threads * calls_each * 1000.0 / (now_ms() - start);
}

}  // namespace

int main()
{
    std::wstring folder = folder_of_program();
    HMODULE library = LoadLibraryW((folder + L"\\vecraster-32.dll").c_str());
    auto function = library == nullptr ? nullptr
                                       : reinterpret_cast<VecrasterFunction>(
                                             reinterpret_cast<void*>(GetProcAddress(library, export_name)));
    if (function == nullptr) {
        fprintf(stderr, "vecraster-32.dll or its export not found beside this program\n");
        return 1;
    }
    Converter converter{function};

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring work = std::wstring(temp) + L"vecraster_bench";
    CreateDirectoryW(work.c_str(), nullptr);
    std::wstring input = work + L"\\picture.emf";
    std::wstring output = work + L"\\picture.png";
    DWORD records = write_picture(input);
    printf("picture: 100 filled shapes over about 960 x 720 pixels, %lu EMF records\n", records);

    converter.convert(input, output, 96.0);  // warm-up: the first call loads GDI+ and its codecs
    struct Row {
        double dpi;
        int calls;
    };
    for (Row row : {Row{96.0, 40}, Row{300.0, 10}}) {
        double call = per_call_ms(converter, input, output, row.dpi, row.calls);
        ULONG_PTR token = 0;
        GdiplusStartupInput startup;
        GdiplusStartup(&token, &startup, nullptr);
        double floor = floor_ms(input, output, row.dpi, row.calls);
        GdiplusShutdown(token);
        printf("%4.0f dpi: %8.2f ms per call, %8.2f ms in one GDI+ session, ratio %.2f\n", row.dpi, call, floor,
               call / floor);
    }
    for (int threads : {1, 2})
        printf("%d thread(s): %.1f calls per second at 96 dpi\n", threads,
               calls_per_second(converter, work, input, threads, 40 / threads));
    return 0;
}
