#include "window/Form1.h"

#include <cstring>
#include <stdexcept>

#include "resources/Texts.h"
#include "resources/resource.h"
#include "storage/Registry.h"
#include "storage/StorageError.h"
#include "win32/SystemFunction.h"
#include "window/ReadableColour.h"

namespace window {

namespace {

constexpr wchar_t kInstallSubKey[] = L"Software\\Quorvantis";
// 8.25 pt in the TrueType twin of the classic dialog font: it scales at every DPI and has Cyrillic.
constexpr wchar_t kFontFace[] = L"Microsoft Sans Serif";
constexpr int kFontTenthsOfPoint = 83;
constexpr int kPointsPerInch = 72;
constexpr BYTE kRussianCharset = 204;
constexpr UINT kGetDpiScaledSize = 0x02E4;  // WM_GETDPISCALEDSIZE, Windows 10 1703 on
// How a label lays its text out: SS_LEFT's word breaks and tabs, and SS_NOPREFIX.
constexpr UINT kLabelTextFormat = DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX;
// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, past this build's Windows version.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(-4);

template <typename Function>
Function user32Function(const char* name) {
  static const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return win32::systemFunction<Function>(user32, name);
}

// Per monitor: GetDpiForWindow from Windows 10 1607, GetDpiForMonitor from 8.1; one DPI before.
int dpiOfWindow(HWND hwnd) {
  static const auto forWindow = user32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  if (forWindow) return static_cast<int>(forWindow(hwnd));
  static const auto forMonitor =
      win32::systemFunction<HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*)>(
          win32::systemLibrary(L"shcore.dll"), "GetDpiForMonitor");
  UINT x = 0, y = 0;
  if (forMonitor && SUCCEEDED(forMonitor(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST),
                                         0 /* MDT_EFFECTIVE_DPI */, &x, &y))) {
    return static_cast<int>(y);
  }
  const win32::ScopedWindowDc dc({hwnd, GetDC(hwnd)});
  return GetDeviceCaps(dc.get().dc, LOGPIXELSY);
}

// Windows 10 1607 scales a window's frame only when asked; per-monitor V2 (1703) always does.
void scaleFrameWithDpi(HWND hwnd) {
  static const auto enable = user32Function<BOOL(WINAPI*)(HWND)>("EnableNonClientDpiScaling");
  static const auto contextOf =
      user32Function<HANDLE(WINAPI*)(HWND)>("GetWindowDpiAwarenessContext");
  static const auto equal =
      user32Function<BOOL(WINAPI*)(HANDLE, HANDLE)>("AreDpiAwarenessContextsEqual");
  if (enable && contextOf && equal && !equal(contextOf(hwnd), kPerMonitorAwareV2)) enable(hwnd);
}

int systemMetricForDpi(int metric, int dpi) {
  static const auto forDpi = user32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
  return forDpi ? forDpi(metric, static_cast<UINT>(dpi)) : GetSystemMetrics(metric);
}

HFONT createDialogFont(int dpi, int weight, BYTE charset) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(kFontTenthsOfPoint, dpi, kPointsPerInch * 10);
  font.lfWeight = weight;
  font.lfCharSet = charset;
  font.lfQuality = CLEARTYPE_QUALITY;
  lstrcpyW(font.lfFaceName, kFontFace);
  return CreateFontIndirectW(&font);
}

bool highContrastIsOn() {
  HIGHCONTRASTW highContrast{sizeof highContrast, 0, nullptr};
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof highContrast, &highContrast, 0) &&
         (highContrast.dwFlags & HCF_HIGHCONTRASTON);
}

// An elevated token: "Run as administrator", or an administrator where UAC is off. Such a program
// reads the same per-user registry as the user's own programs, which may have prepared its folder.
storage::Rights rightsOfThisProcess() {
  win32::ScopedKernelHandle token;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool elevated =
      OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
      GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
      elevation.TokenIsElevated;
  return elevated ? storage::Rights::Administrator : storage::Rights::User;
}

// Enter and Esc, which the dialog navigation would take to a default or cancel button: none is.
bool pressesNoButton(const MSG& message) {
  return message.message == WM_KEYDOWN &&
         (message.wParam == VK_RETURN || message.wParam == VK_ESCAPE);
}

// The window's size for a client area of `client` at `dpi`; none where the system gives none.
std::optional<SIZE> windowSize(HWND hwnd, Size client, int dpi) {
  static const auto adjustForDpi =
      user32Function<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
  RECT frame{0, 0, client.width, client.height};
  const BOOL done = adjustForDpi
                        ? adjustForDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi))
                        : AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  if (!done) return std::nullopt;
  return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

void placeCentred(HWND hwnd, int dpi) {
  // Centred on the work area of the screen the window first appears on: the one it would be on
  // at this size. Without a frame to go by, the client area's size is the nearest.
  const Size client{scaled(kClientWidth, dpi), scaled(kClientHeight, dpi)};
  const SIZE size = windowSize(hwnd, client, dpi).value_or(SIZE{client.width, client.height});
  RECT frame;
  GetWindowRect(hwnd, &frame);
  frame.right = frame.left + size.cx;
  frame.bottom = frame.top + size.cy;
  MONITORINFO monitor{sizeof monitor, {}, {}, 0};
  GetMonitorInfoW(MonitorFromRect(&frame, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const Point at = centredIn({work.left, work.top, work.right, work.bottom}, {size.cx, size.cy});
  SetWindowPos(hwnd, nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

std::optional<SIZE> sizeForDpi(HWND hwnd, int dpi) {
  // A minimized or maximized window takes the size that the system gives it.
  if (IsIconic(hwnd) || IsZoomed(hwnd)) return std::nullopt;
  RECT client;
  GetClientRect(hwnd, &client);
  const Size now{client.right, client.bottom};
  return windowSize(hwnd, clientAreaForDpi(now, dpiOfWindow(hwnd), dpi), dpi);
}

void repaintAll(HWND hwnd) {
  // WS_CLIPCHILDREN keeps the window's own invalidation out of its controls.
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

// The first control in tab order that is visible and enabled.
void focusFirst(HWND hwnd) {
  if (const HWND first = GetNextDlgTabItem(hwnd, nullptr, FALSE)) SetFocus(first);
}

}  // namespace

std::wstring describeCurrentError() {
  try {
    throw;
  } catch (const storage::StorageError& e) {
    return e.message();
  } catch (const std::exception& e) {
    const char* const what = e.what();  // the program's own are ASCII
    return std::wstring(what, what + std::strlen(what));
  } catch (...) {
    return texts::kUnexpectedError;
  }
}

Form1::Form1(HINSTANCE instance, storage::FileOperations& files)
    : instance_(instance), files_(files), highContrast_(highContrastIsOn()) {
  textColours_[static_cast<size_t>(Control::Label2)] = kKeyColour;
  logo_.reset(static_cast<HBITMAP>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDB_LOGO), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  windowClass_.reset({RegisterClassExW(&windowClass), instance});
  if (!windowClass_) throw std::runtime_error("RegisterClassEx failed");

  CreateWindowExW(0, kWindowClass, texts::kWindowTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                  instance, this);
  if (!hwnd_) throw std::runtime_error("CreateWindowEx failed");
  // Every control is made at its place with its font, and the window is sized and centred in one
  // move: under Wine each move of a window adds to the start-up time.
  const int dpi = dpiOfWindow(hwnd_.get());
  createFonts(dpi);
  createControls(dpi);
  loadIcons(dpi);
  placeCentred(hwnd_.get(), dpi);
}

void Form1::load() {
  installPath_ =
      storage::readRegistryString(HKEY_CURRENT_USER, kInstallSubKey, L"").value_or(std::wstring());
  rights_ = rightsOfThisProcess();
  if (installPath_.empty()) {
    for (Control c : {Control::Label1, Control::Label2, Control::Label3, Control::Text1,
                      Control::Command_Update}) {
      ShowWindow(handleOf(c), SW_HIDE);
    }
    textColours_[static_cast<size_t>(Control::Label4)] = kNotFoundColour;
    setText(Control::Label4, texts::kNotFound);
  } else {
    setText(Control::Label2, readCurrentAccessKey());
    EnableWindow(handleOf(Control::Command_Update), FALSE);
    setText(Control::Label4, texts::kInstructions);
  }
  ShowWindow(hwnd_.get(), SW_SHOWNORMAL);
  UpdateWindow(hwnd_.get());
  SetForegroundWindow(hwnd_.get());
  focusFirst(hwnd_.get());
  // The message is all that this window has to say, and nothing has the focus that would say it.
  if (installPath_.empty()) {
    liveRegions_.announce(handleOf(Control::Label4), Announcement::Assertive);
  }
}

void Form1::text1Changed() {
  ShowWindow(handleOf(Control::Label5), SW_HIDE);
  EnableWindow(handleOf(Control::Command_Update), !text(Control::Text1).empty());
}

void Form1::updateClicked() {
  newAccessKey_ = text(Control::Text1);
  try {
    saveNewAccessKey();
  } catch (const storage::StorageError& e) {
    if (e.kind() != storage::StorageError::Kind::RefusedKey) throw;
    // Refused before anything was touched: the user types the key again.
    newAccessKey_.clear();
    const std::wstring message = texts::fill(texts::kUnsavable, {e.reason()});
    MessageBoxW(hwnd_.get(), message.c_str(), texts::kWindowTitle, MB_OK | MB_ICONWARNING);
    return;
  }
  setText(Control::Label2, readCurrentAccessKey());
  setText(Control::Text1, L"");
  // The change handler that the clearing ran may have failed: this handler ends with it.
  if (failed_) return;
  newAccessKey_.clear();
  ShowWindow(handleOf(Control::Label5), SW_SHOWNA);
  SetFocus(handleOf(Control::Command_Exit));
  // The focus speaks for "Exit"; the confirmation follows it.
  liveRegions_.announce(handleOf(Control::Label5), Announcement::Polite);
}

void Form1::exitClicked() { hwnd_.reset(); }

void Form1::saveNewAccessKey() {
  storage::saveNewAccessKey(files_, installPath_, newAccessKey_, rights_);
}

std::wstring Form1::readCurrentAccessKey() {
  currentAccessKey_ = storage::readCurrentAccessKey(files_, installPath_);
  return *currentAccessKey_;
}

void Form1::runHandler(void (Form1::*handler)()) {
  if (failed_) return;
  try {
    (this->*handler)();
  } catch (...) {
    failed_ = true;
    const HWND owner = hwnd_ && IsWindowVisible(hwnd_.get()) ? hwnd_.get() : nullptr;
    MessageBoxW(owner, describeCurrentError().c_str(), texts::kWindowTitle, MB_OK | MB_ICONERROR);
    // After the box, whose own loop would end at the quit.
    PostQuitMessage(1);
  }
}

int Form1::run() {
  running_ = true;
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (pressesNoButton(message)) continue;
    // Tab, Shift+Tab, the focus cues and the text selected on Tab, as in a dialog.
    if (hwnd_ && IsDialogMessageW(hwnd_.get(), &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  running_ = false;
  return static_cast<int>(message.wParam);
}

void Form1::createControls(int dpi) {
  // By ControlKind. A label shows an "&" in a key as it is.
  constexpr struct {
    const wchar_t* className;
    DWORD style, exStyle;
  } kKinds[] = {{L"STATIC", SS_LEFT | SS_NOPREFIX, 0},
                {L"EDIT", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE},
                {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0},
                {L"STATIC", SS_OWNERDRAW, 0}};
  layoutDpi_ = dpi;
  for (const ControlDesign& design : kControls) {
    const auto& kind = kKinds[static_cast<int>(design.kind)];
    const DWORD shown = design.control == Control::Label5 ? 0 : WS_VISIBLE;
    const Size size = sizeOf(design, design.text);
    const HWND control = CreateWindowExW(
        kind.exStyle, kind.className, design.text, WS_CHILD | shown | kind.style,
        scaled(design.left, dpi), scaled(design.top, dpi), size.width, size.height, hwnd_.get(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId(design.control))), instance_,
        nullptr);
    if (!control) throw std::runtime_error("creating a control failed");
    controls_[static_cast<size_t>(design.control)] = control;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fontOf(design.control)), FALSE);
  }
  // The text box holds keys of any length.
  SendMessageW(handleOf(Control::Text1), EM_SETLIMITTEXT, 0, 0);
}

void Form1::createFonts(int dpi) {
  regularFont_.reset(createDialogFont(dpi, FW_NORMAL, DEFAULT_CHARSET));
  boldFont_.reset(createDialogFont(dpi, FW_BOLD, kRussianCharset));
}

HFONT Form1::fontOf(Control control) const {
  return control == Control::Label2 ? boldFont_.get() : regularFont_.get();
}

Size Form1::sizeOf(const ControlDesign& design, const std::wstring& text) const {
  if (design.kind != ControlKind::Label) {
    return {scaled(design.width, layoutDpi_), scaled(design.height, layoutDpi_)};
  }
  const win32::ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
  const win32::ScopedSelection selected({dc.get(), SelectObject(dc.get(), fontOf(design.control))});
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc.get(), &metrics);
  return labelSize(design.control, layoutDpi_, metrics.tmHeight, [&](int width) {
    RECT needed{0, 0, width, 0};
    DrawTextW(dc.get(), text.c_str(), -1, &needed, kLabelTextFormat | DT_CALCRECT);
    return static_cast<int>(needed.bottom);
  });
}

void Form1::loadIcons(int dpi) {
  const auto load = [this, dpi](int metric) {
    const int size = systemMetricForDpi(metric, dpi);
    return win32::ScopedIcon(static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, size, size, 0)));
  };
  // The old icons go once the window holds the new.
  win32::ScopedIcon big = load(SM_CXICON);
  win32::ScopedIcon small = load(SM_CXSMICON);
  SendMessageW(hwnd_.get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
  SendMessageW(hwnd_.get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
  bigIcon_ = std::move(big);
  smallIcon_ = std::move(small);
}

void Form1::onDpiChanged(int dpi, const RECT& suggested) {
  // The old fonts go only once every control has its new one: none may hold a deleted font.
  const win32::ScopedFont oldRegularFont = std::move(regularFont_);
  const win32::ScopedFont oldBoldFont = std::move(boldFont_);
  createFonts(dpi);
  layoutDpi_ = dpi;
  for (const ControlDesign& design : kControls) {
    const HWND control = handleOf(design.control);
    const Size size = sizeOf(design, text(design.control));
    MoveWindow(control, scaled(design.left, dpi), scaled(design.top, dpi), size.width, size.height,
               FALSE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fontOf(design.control)), FALSE);
  }
  loadIcons(dpi);
  repaintAll(hwnd_.get());
  SetWindowPos(hwnd_.get(), nullptr, suggested.left, suggested.top,
               suggested.right - suggested.left, suggested.bottom - suggested.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK Form1::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<Form1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_.reset(hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    scaleFrameWithDpi(hwnd);
  }
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    self->hwnd_.release();
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->handleMessage(hwnd, message, wParam, lParam);
}

LRESULT Form1::handleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      onCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_CTLCOLORSTATIC:
      return onControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DRAWITEM:
      onDrawLogo(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_ACTIVATE:
      onActivate(LOWORD(wParam) != WA_INACTIVE);
      return 0;
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED:
      onColoursChanged();
      return 0;
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETHIGHCONTRAST) onColoursChanged();
      break;
    case WM_DPICHANGED:
      onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case kGetDpiScaledSize:
      if (const std::optional<SIZE> size = sizeForDpi(hwnd, static_cast<int>(wParam))) {
        *reinterpret_cast<SIZE*>(lParam) = *size;
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      liveRegions_.unmarkAll();          // while the labels still exist
      if (running_) PostQuitMessage(0);  // run() tells an error from a normal end
      return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Form1::onCommand(int id, int code) {
  if (id == controlId(Control::Text1) && code == EN_CHANGE) runHandler(&Form1::text1Changed);
  if (code != BN_CLICKED) return;
  if (id == controlId(Control::Command_Update)) runHandler(&Form1::updateClicked);
  if (id == controlId(Control::Command_Exit)) runHandler(&Form1::exitClicked);
}

LRESULT Form1::onControlColour(HDC dc, HWND hwnd) {
  const COLORREF background = GetSysColor(COLOR_BTNFACE);
  COLORREF colour = GetSysColor(COLOR_BTNTEXT);
  for (size_t i = 0; i < controls_.size(); ++i) {
    if (controls_[i] == hwnd && textColours_[i]) {
      colour = readableTextColour(*textColours_[i], background, colour, highContrast_);
    }
  }
  SetTextColor(dc, colour);
  SetBkColor(dc, background);
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void Form1::onColoursChanged() {
  highContrast_ = highContrastIsOn();
  // The controls of Common Controls 6 take their colours again only when told.
  for (HWND control : controls_) SendMessageW(control, WM_SYSCOLORCHANGE, 0, 0);
  repaintAll(hwnd_.get());
}

void Form1::onDrawLogo(const DRAWITEMSTRUCT& item) {
  const RECT& area = item.rcItem;
  FillRect(item.hDC, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  if (!logo_) return;
  BITMAP info{};
  GetObjectW(logo_.get(), sizeof info, &info);
  const win32::ScopedMemoryDc source(CreateCompatibleDC(item.hDC));
  // After the DC's owner, so that the logo is taken out before the DC is deleted.
  const win32::ScopedSelection selected({source.get(), SelectObject(source.get(), logo_.get())});
  // The logo keeps its size against the layout: 1:1 at 96 DPI, scaled smoothly above.
  SetStretchBltMode(item.hDC, HALFTONE);
  StretchBlt(item.hDC, area.left, area.top, area.right - area.left, area.bottom - area.top,
             source.get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
}

void Form1::onActivate(bool active) {
  // The focus comes back to where it was, as a dialog's does.
  if (!active) {
    focusBeforeDeactivation_ = GetFocus();
  } else if (focusBeforeDeactivation_ && IsChild(hwnd_.get(), focusBeforeDeactivation_) &&
             IsWindowVisible(focusBeforeDeactivation_) &&
             IsWindowEnabled(focusBeforeDeactivation_)) {
    SetFocus(focusBeforeDeactivation_);
  } else {
    focusFirst(hwnd_.get());
  }
}

std::wstring Form1::text(Control control) const {
  const HWND hwnd = handleOf(control);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

void Form1::setText(Control control, const std::wstring& text) {
  SetWindowTextW(handleOf(control), text.c_str());
  if (const ControlDesign& design = designOf(control); design.kind == ControlKind::Label) {
    const Size size = sizeOf(design, text);
    SetWindowPos(handleOf(control), nullptr, 0, 0, size.width, size.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

}  // namespace window
