#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include <filesystem>
#include <string_view>

class QPainter;
class QPointF;

namespace vandrel {

// Symbols are our own monochrome SVG files, resources/icons/<name>.svg, named like the symbols the
// windows ask for ("gearshape", "lock.shield", "checkmark.circle.fill"). They are drawn in one colour
// (the file's own colours only give the shape) and cached per name, size, colour and pixel ratio.
//
// Every symbol name the code uses is written as a literal in the first argument of a call of symbol(),
// symbolIcon(), symbolIconAsDrawn(), symbolName(), BrandIconTile(), SymbolButton() or setSymbolName()
// (a choice between two literals there counts too), so that a test can check that each has its file. A
// name kept in data is written as symbolName("..."). The check also reads the tile symbol that
// onboarding's addHeader() takes as its third argument.

// A `size` by `size` (points) pixmap of the symbol at the device pixel ratio `dpr` (0: the
// application's), tinted with `colour`. A missing or unreadable file is logged once and gives a null
// pixmap.
QPixmap symbol(const QString& name, double size, const QColor& colour, qreal dpr = 0);
QIcon symbolIcon(const QString& name, double size, const QColor& colour);
// Paints the symbol centred on `centre`, at the pixel ratio of the painter's device; nothing when the
// symbol is missing.
void drawSymbol(QPainter& painter, const QPointF& centre, const QString& name, double size, const QColor& colour);

// The symbol as its file draws it, in the file's own colours, for an icon that carries its own light
// glyph and dark edge (the tray's, which must read on any panel). A missing or unreadable file is
// logged once and gives a null icon.
QIcon symbolIconAsDrawn(const QString& name);

// symbol() and symbolIcon() are for the main thread, like every widget.

// Marks a symbol name kept in data (tables, structs) so that the symbol-file check finds it.
constexpr std::string_view symbolName(std::string_view name) { return name; }

// The file a symbol is read from.
std::filesystem::path symbolFile(const QString& name);
bool symbolExists(const QString& name);

}  // namespace vandrel
