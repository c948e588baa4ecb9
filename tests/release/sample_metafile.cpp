// Writes a small enhanced metafile drawn with GDI: a tile, a circle, a triangle, a zigzag line
// and a caption, 80 x 50 mm, for the demonstration of vecraster.exe.
//   sample_metafile OUTPUT.emf
#include <windows.h>

#include <cstdio>

namespace {

struct Brush {
    HBRUSH handle;
    explicit Brush(COLORREF color) : handle(CreateSolidBrush(color)) {}
    ~Brush() { DeleteObject(handle); }
};

struct Pen {
    HPEN handle;
    Pen(int width, COLORREF color) : handle(CreatePen(PS_SOLID, width, color)) {}
    ~Pen() { DeleteObject(handle); }
};

void draw(HDC dc)
{
    // Logical units are hundredths of a millimetre, y growing downwards.
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, 8000, 5000, nullptr);
    SetViewportExtEx(dc, GetDeviceCaps(dc, HORZRES) * 8000 / (GetDeviceCaps(dc, HORZSIZE) * 100),
                     GetDeviceCaps(dc, VERTRES) * 5000 / (GetDeviceCaps(dc, VERTSIZE) * 100), nullptr);

    Pen outline(40, RGB(0x17, 0x4A, 0xB0));
    Brush tile(RGB(0xE8, 0xF0, 0xFC));
    SelectObject(dc, outline.handle);
    SelectObject(dc, tile.handle);
    RoundRect(dc, 100, 100, 7900, 4900, 800, 800);

    Brush amber(RGB(0xFF, 0xB3, 0x28));
    SelectObject(dc, amber.handle);
    Ellipse(dc, 600, 700, 3000, 3100);

    Brush blue(RGB(0x3A, 0x8D, 0xF0));
    SelectObject(dc, blue.handle);
    POINT triangle[] = {{4600, 3100}, {5900, 700}, {7200, 3100}};
    Polygon(dc, triangle, 3);

    Pen thin(15, RGB(0x40, 0x40, 0x40));
    SelectObject(dc, thin.handle);
    POINT zigzag[23];
    for (int i = 0; i < 23; ++i)
        zigzag[i] = POINT{600 + 300 * i, i % 2 == 0 ? 3900 : 3500};
    Polyline(dc, zigzag, 23);

    HFONT font = CreateFontW(-500, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Arial");
    HGDIOBJ old_font = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0x17, 0x4A, 0xB0));
    TextOutW(dc, 600, 4150, L"vecraster sample", 16);
    SelectObject(dc, old_font);
    DeleteObject(font);
    SelectObject(dc, GetStockObject(BLACK_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        fputws(L"usage: sample_metafile OUTPUT.emf\n", stderr);
        return 2;
    }
    RECT frame{0, 0, 8000, 5000};
    HDC dc = CreateEnhMetaFileW(nullptr, argv[1], &frame, L"vecraster sample\0shapes\0");
    if (dc == nullptr) {
        fwprintf(stderr, L"sample_metafile: cannot create the metafile (error %lu)\n", GetLastError());
        return 1;
    }
    draw(dc);
    HENHMETAFILE metafile = CloseEnhMetaFile(dc);
    if (metafile == nullptr) {
        fputws(L"sample_metafile: cannot finish the metafile\n", stderr);
        return 1;
    }
    DeleteEnhMetaFile(metafile);
    return 0;
}
