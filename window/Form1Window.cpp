#include "window/Form1Window.h"

#include <stdexcept>
#include <string>

#include "resources/resource.h"
#include "storage/StorageError.h"
#include "storage/Utf8.h"
#include "win32/SystemFunction.h"
#include "window/ReadableColour.h"

namespace window {

namespace {

constexpr int kFontTenthsOfPoint = 83;  // 8.25 pt: the classic dialog font's size
constexpr int kPointsPerInch = 72;
constexpr BYTE kRussianCharset = 204;
constexpr UINT kGetDpiScaledSize = 0x02E4;  // WM_GETDPISCALEDSIZE, Windows 10 1703 on

HMODULE user32() {
  static const HMODULE library = GetModuleHandleW(L"user32.dll");
  return library;
}

// Per-monitor DPI functions exist from Windows 10 on; earlier systems have one DPI for all.
int dpiOfWindow(HWND hwnd) {
  static const auto getDpiForWindow =
      win32::systemFunction<UINT(WINAPI*)(HWND)>(user32(), "GetDpiForWindow");
  if (getDpiForWindow) return static_cast<int>(getDpiForWindow(hwnd));
  const win32::ScopedWindowDc dc({hwnd, GetDC(hwnd)});
  return GetDeviceCaps(dc.get().dc, LOGPIXELSY);
}

// False where the system could not work out the frame.
bool adjustToWindowRect(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
  static const auto adjustForDpi =
      win32::systemFunction<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>(
          user32(), "AdjustWindowRectExForDpi");
  return adjustForDpi ? adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi))
                      : AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

HFONT createDialogFont(int dpi, int weight, BYTE charset) {
  LOGFONTW font{};
  font.lfHeight = -MulDiv(kFontTenthsOfPoint, dpi, kPointsPerInch * 10);
  font.lfWeight = weight;
  font.lfCharSet = charset;
  font.lfQuality = CLEARTYPE_QUALITY;
  lstrcpyW(font.lfFaceName, L"MS Sans Serif");
  return CreateFontIndirectW(&font);
}

bool highContrastIsOn() {
  HIGHCONTRASTW highContrast{};
  highContrast.cbSize = sizeof highContrast;
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof highContrast, &highContrast, 0) &&
         (highContrast.dwFlags & HCF_HIGHCONTRASTON);
}

}  // namespace

std::wstring describeError(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const storage::StorageError& e) {
    return e.message();
  } catch (const std::exception& e) {
    return storage::fromUtf8(e.what());
  } catch (...) {
    return L"An unexpected error occurred.";
  }
}

Form1Window::Form1Window(HINSTANCE instance)
    : instance_(instance), highContrast_(highContrastIsOn()) {
  textColours_[static_cast<size_t>(Control::Label2)] = kKeyColour;
  bigIcon_.reset(
      static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
  smallIcon_.reset(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_APP_ICON),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), 0)));
  logo_.reset(static_cast<HBITMAP>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDB_LOGO), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = bigIcon_.get();
  windowClass.hIconSm = smallIcon_.get();
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  if (!windowClass_.registerClass(windowClass)) throw std::runtime_error("RegisterClassEx failed");

  CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                  instance, this);
  if (!hwnd_) throw std::runtime_error("CreateWindowEx failed");
  // Every control is made at its place with its font, and the window is sized and centred in one
  // move: under Wine each move of a window adds to the start-up time.
  const int dpi = dpiOfWindow(hwnd_.get());
  createFonts(dpi);
  createControls(dpi);
  placeCentred(dpi);
}

void Form1Window::createControls(int dpi) {
  for (const ControlDesign& design : kControls) {
    const wchar_t* className = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    switch (design.kind) {
      case ControlKind::Label:
        // No prefix: an "&" in a key is shown as it is.
        style |= SS_LEFT | SS_NOPREFIX;
        break;
      case ControlKind::TextBox:
        className = L"EDIT";
        style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
        exStyle |= WS_EX_CLIENTEDGE;
        break;
      case ControlKind::Button:
        className = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
      case ControlKind::Picture:
        style |= SS_OWNERDRAW;
        break;
    }
    if (design.control == Control::Label5) style &= ~WS_VISIBLE;
    const HWND control = CreateWindowExW(
        exStyle, className, design.text, style, scaled(design.left, dpi), scaled(design.top, dpi),
        scaled(design.width, dpi), scaled(design.height, dpi), hwnd_.get(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId(design.control))), instance_,
        nullptr);
    if (!control) throw std::runtime_error("creating a control failed");
    controls_[static_cast<size_t>(design.control)] = control;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fontOf(design.control)), FALSE);
  }
  // The text box holds keys of any length.
  SendMessageW(handleOf(Control::Text1), EM_SETLIMITTEXT, 0, 0);
}

void Form1Window::createFonts(int dpi) {
  regularFont_.reset(createDialogFont(dpi, FW_NORMAL, DEFAULT_CHARSET));
  boldFont_.reset(createDialogFont(dpi, FW_BOLD, kRussianCharset));
}

HFONT Form1Window::fontOf(Control control) const {
  return control == Control::Label2 ? boldFont_.get() : regularFont_.get();
}

std::optional<SIZE> Form1Window::frameSize(int dpi) const {
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_.get(), GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd_.get(), GWL_EXSTYLE));
  RECT frame{0, 0, scaled(kClientWidth, dpi), scaled(kClientHeight, dpi)};
  if (!adjustToWindowRect(frame, style, exStyle, dpi)) return std::nullopt;
  return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

void Form1Window::placeCentred(int dpi) {
  // Centred on the screen the window first appears on: the one it would be on at this size.
  // Without a frame to go by, the client area's size is the nearest.
  const SIZE size =
      frameSize(dpi).value_or(SIZE{scaled(kClientWidth, dpi), scaled(kClientHeight, dpi)});
  RECT frame;
  GetWindowRect(hwnd_.get(), &frame);
  frame.right = frame.left + size.cx;
  frame.bottom = frame.top + size.cy;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromRect(&frame, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& screen = monitor.rcMonitor;
  SetWindowPos(hwnd_.get(), nullptr, screen.left + (screen.right - screen.left - size.cx) / 2,
               screen.top + (screen.bottom - screen.top - size.cy) / 2, size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1Window::layOut(int dpi) {
  // The old fonts go only once every control has its new one: none may hold a deleted font.
  const win32::ScopedFont oldRegularFont = std::move(regularFont_);
  const win32::ScopedFont oldBoldFont = std::move(boldFont_);
  createFonts(dpi);
  for (const ControlDesign& design : kControls) {
    const HWND control = handleOf(design.control);
    MoveWindow(control, scaled(design.left, dpi), scaled(design.top, dpi),
               scaled(design.width, dpi), scaled(design.height, dpi), FALSE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fontOf(design.control)), FALSE);
  }
  repaintAll();
}

void Form1Window::repaintAll() {
  // WS_CLIPCHILDREN keeps the window's own invalidation out of its controls.
  RedrawWindow(hwnd_.get(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

LRESULT CALLBACK Form1Window::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Form1Window* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<Form1Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_.reset(hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<Form1Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    self->hwnd_.release();
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  // Nothing may unwind through the system's code: every handler's error stops here.
  try {
    return self->handleMessage(message, wParam, lParam);
  } catch (...) {
    self->fail(std::current_exception());
    return 0;
  }
}

LRESULT Form1Window::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
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
      return DefWindowProcW(hwnd_.get(), message, wParam, lParam);
    case WM_DPICHANGED:
      onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case kGetDpiScaledSize:
      // The design's client area exactly, where the system's linear guess would scale the frame.
      if (const std::optional<SIZE> size = frameSize(static_cast<int>(wParam))) {
        *reinterpret_cast<SIZE*>(lParam) = *size;
        return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      liveRegions_.unmarkAll();          // while the labels still exist
      if (running_) PostQuitMessage(0);  // run() tells an error from a normal end
      return 0;
    default:
      return DefWindowProcW(hwnd_.get(), message, wParam, lParam);
  }
}

void Form1Window::onCommand(int id, int code) {
  if (!form_) return;
  if (id == controlId(Control::Text1) && code == EN_CHANGE) {
    runHandler([this] { form_->text1Changed(); });
  } else if (id == controlId(Control::Command_Update) && code == BN_CLICKED) {
    runHandler([this] { form_->updateClicked(); });
  } else if (id == controlId(Control::Command_Exit) && code == BN_CLICKED) {
    runHandler([this] { form_->exitClicked(); });
  }
}

LRESULT Form1Window::onControlColour(HDC dc, HWND hwnd) {
  const std::optional<Control> control = controlOf(hwnd);
  const COLORREF background = GetSysColor(COLOR_BTNFACE);
  COLORREF colour = GetSysColor(COLOR_BTNTEXT);
  if (control && textColours_[static_cast<size_t>(*control)]) {
    colour = readableTextColour(*textColours_[static_cast<size_t>(*control)], background, colour,
                                highContrast_);
  }
  SetTextColor(dc, colour);
  SetBkColor(dc, background);
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void Form1Window::onColoursChanged() {
  highContrast_ = highContrastIsOn();
  // The controls of Common Controls 6 take their colours again only when told.
  for (HWND control : controls_) SendMessageW(control, WM_SYSCOLORCHANGE, 0, 0);
  repaintAll();
}

void Form1Window::onDrawLogo(const DRAWITEMSTRUCT& item) {
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

void Form1Window::onActivate(bool active) {
  if (!active) {
    focusBeforeDeactivation_ = GetFocus();
    return;
  }
  const std::optional<Control> previous = controlOf(focusBeforeDeactivation_);
  if (previous && canTakeFocus(*previous)) {
    SetFocus(handleOf(*previous));
  } else if (const auto first = firstInTabOrder([this](Control c) { return canTakeFocus(c); })) {
    SetFocus(handleOf(*first));
  }
}

void Form1Window::onDpiChanged(int dpi, const RECT& suggested) {
  layOut(dpi);
  SetWindowPos(hwnd_.get(), nullptr, suggested.left, suggested.top,
               suggested.right - suggested.left, suggested.bottom - suggested.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

bool Form1Window::handleKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || !hwnd_ ||
      (message.hwnd != hwnd_.get() && !IsChild(hwnd_.get(), message.hwnd))) {
    return false;
  }
  switch (message.wParam) {
    case VK_TAB: {
      // As in a dialog: the keyboard is in use, so the focus is shown from now on, and a text box
      // tabbed into has its text selected, so that typing replaces it.
      SendMessageW(hwnd_.get(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
      const bool forward = GetKeyState(VK_SHIFT) >= 0;
      const auto next = nextInTabOrder(controlOf(GetFocus()), forward,
                                       [this](Control c) { return canTakeFocus(c); });
      if (!next) return true;
      SetFocus(handleOf(*next));
      if (SendMessageW(handleOf(*next), WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) {
        SendMessageW(handleOf(*next), EM_SETSEL, 0, -1);
      }
      return true;
    }
    case VK_RETURN:
    case VK_ESCAPE:
      return true;  // neither button is a default or cancel button
    default:
      return false;
  }
}

std::optional<Control> Form1Window::controlOf(HWND hwnd) const {
  for (size_t i = 0; i < controls_.size(); ++i) {
    if (hwnd && controls_[i] == hwnd) return static_cast<Control>(i);
  }
  return std::nullopt;
}

bool Form1Window::canTakeFocus(Control control) const {
  const HWND hwnd = handleOf(control);
  return IsWindowVisible(hwnd) && IsWindowEnabled(hwnd);
}

int Form1Window::run() {
  running_ = true;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (handleKey(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  running_ = false;
  if (error_) {
    reportError();
    return 1;
  }
  return 0;
}

void Form1Window::fail(std::exception_ptr error) {
  if (error_) return;
  error_ = error;
  PostQuitMessage(1);
}

void Form1Window::rethrowPendingError() const {
  if (error_) std::rethrow_exception(error_);
}

void Form1Window::reportError() const {
  const HWND owner = hwnd_ && IsWindowVisible(hwnd_.get()) ? hwnd_.get() : nullptr;
  MessageBoxW(owner, describeError(error_).c_str(), kWindowTitle, MB_OK | MB_ICONERROR);
}

void Form1Window::setText(Control control, std::wstring_view text) {
  SetWindowTextW(handleOf(control), std::wstring(text).c_str());
  // A change of Text1 runs its change handler inside this call; its error ends the caller too.
  rethrowPendingError();
}

std::wstring Form1Window::text(Control control) const {
  const HWND hwnd = handleOf(control);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

void Form1Window::setTextColour(Control control, std::uint32_t colour) {
  textColours_[static_cast<size_t>(control)] = static_cast<COLORREF>(colour);
  InvalidateRect(handleOf(control), nullptr, TRUE);
}

void Form1Window::setVisible(Control control, bool visible) {
  ShowWindow(handleOf(control), visible ? SW_SHOWNA : SW_HIDE);
}

void Form1Window::setEnabled(Control control, bool enabled) {
  EnableWindow(handleOf(control), enabled);
}

void Form1Window::focus(Control control) { SetFocus(handleOf(control)); }

void Form1Window::showWindow() {
  ShowWindow(hwnd_.get(), SW_SHOWNORMAL);
  UpdateWindow(hwnd_.get());
}

void Form1Window::focusWindow() {
  SetForegroundWindow(hwnd_.get());
  if (const auto first = firstInTabOrder([this](Control c) { return canTakeFocus(c); })) {
    SetFocus(handleOf(*first));
  }
}

void Form1Window::unload() { hwnd_.reset(); }

void Form1Window::announce(Control control, Announcement urgency) {
  liveRegions_.announce(handleOf(control), urgency);
}

void Form1Window::tellUser(std::wstring_view message) {
  MessageBoxW(hwnd_.get(), std::wstring(message).c_str(), kWindowTitle, MB_OK | MB_ICONWARNING);
}

}  // namespace window
