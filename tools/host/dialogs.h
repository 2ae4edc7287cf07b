// Shows one of Wexlib.dll's dialog templates the way a setup program does:
// found in the DLL's module by name and language 1033, shown with the
// platform's dialog manager, with the host's part filled in: the picture that
// the id 1200 specifier names and the product name for each "%p".
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace wexhost {

struct DialogShow {
    std::string product = "Wexlib";  // replaces every "%p" in a control's text
    unsigned closeAfterMs = 0;       // ends the dialog after that long; 0: a button ends it
    bool announce = false;           // prints "shown NAME x y width height" once it is on screen
};

struct DialogOutcome {
    INT_PTR result = -1;    // the dialog's end code (the id of the button), -1 when it could not be shown
    std::string caption;
    int controls = 0;
    std::vector<std::string> filled;  // what the host put in: "id: text" for each control it changed
    std::string error;
};

DialogOutcome ShowDialogTemplate(HMODULE dll, const std::string& name, const DialogShow& how);

// The picture specifier of control 1200: "@id;a;b;r,g,b;r,g,b", a picture id
// and the two colours of its background. False for any other text.
struct PictureSpecifier {
    int pictureId = 0;
    COLORREF top = 0, bottom = 0;
};
bool ParsePictureSpecifier(const char* text, PictureSpecifier& out);

// text with every "%p" replaced by product.
std::string FillPlaceholders(const std::string& text, const std::string& product);

}  // namespace wexhost
