#include "ui/glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vedo::ui {
namespace {

// Every glyph is drawn on a 16 x 16 grid and scaled for larger sizes.
QPixmap draw(Glyph which, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 16.0, size / 16.0);
  const QColor green(0x1e, 0x8e, 0x3e), red(0xc6, 0x28, 0x28), blue(0x15, 0x65, 0xc0);
  switch (which) {
    case Glyph::Execute: {
      p.setPen(QPen(QColor(0x5d, 0x40, 0x37), 1));
      p.setBrush(QColor(0xd7, 0xa8, 0x6e));
      p.drawRect(QRectF(2.5, 8.5, 11, 6));
      p.setPen(Qt::NoPen);
      p.setBrush(green);
      QPainterPath arrow;
      arrow.moveTo(6, 1);
      arrow.lineTo(10, 1);
      arrow.lineTo(10, 6);
      arrow.lineTo(13, 6);
      arrow.lineTo(8, 11);
      arrow.lineTo(3, 6);
      arrow.lineTo(6, 6);
      arrow.closeSubpath();
      p.drawPath(arrow);
      break;
    }
    case Glyph::Close: {
      p.setPen(QPen(QColor(0x4e, 0x34, 0x2e), 1));
      p.setBrush(QColor(0xa1, 0x88, 0x7f));
      p.drawRect(QRectF(3.5, 1.5, 8, 13));
      p.setBrush(QColor(0x6d, 0x4c, 0x41));
      QPolygonF door({QPointF(3.5, 1.5), QPointF(9.5, 3.5), QPointF(9.5, 15.5), QPointF(3.5, 14.5)});
      p.drawPolygon(door);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0xff, 0xd5, 0x4f));
      p.drawEllipse(QPointF(8, 9), 0.9, 0.9);
      break;
    }
    case Glyph::Info: {
      p.setPen(Qt::NoPen);
      p.setBrush(blue);
      p.drawEllipse(QRectF(1, 1, 14, 14));
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(8, 4.5), 1.3, 1.3);
      p.drawRect(QRectF(7, 7, 2, 5.5));
      break;
    }
    case Glyph::Folder: {
      p.setPen(QPen(QColor(0x8d, 0x6e, 0x00), 1));
      p.setBrush(QColor(0xff, 0xca, 0x28));
      QPainterPath folder;
      folder.moveTo(1.5, 3.5);
      folder.lineTo(6, 3.5);
      folder.lineTo(7.5, 5);
      folder.lineTo(14.5, 5);
      folder.lineTo(14.5, 13.5);
      folder.lineTo(1.5, 13.5);
      folder.closeSubpath();
      p.drawPath(folder);
      p.drawLine(QPointF(1.5, 7), QPointF(14.5, 7));
      break;
    }
    case Glyph::Yes: {
      p.setPen(QPen(green, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(QPolygonF({QPointF(2.5, 8.5), QPointF(6.5, 12.5), QPointF(13.5, 3.5)}));
      break;
    }
    case Glyph::No: {
      p.setPen(QPen(red, 2.6, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
      p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
      break;
    }
    case Glyph::Abort: {
      p.setPen(Qt::NoPen);
      p.setBrush(red);
      p.drawEllipse(QRectF(1, 1, 14, 14));
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4, 7, 8, 2.4));
      break;
    }
    case Glyph::Ask: {
      p.setPen(Qt::NoPen);
      p.setBrush(blue);
      p.drawEllipse(QRectF(1, 1, 14, 14));
      p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      QPainterPath hook;
      hook.moveTo(5.5, 6);
      hook.cubicTo(5.5, 2.8, 10.5, 2.8, 10.5, 6);
      hook.cubicTo(10.5, 8, 8, 8, 8, 10);
      p.drawPath(hook);
      p.setPen(Qt::NoPen);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(8, 12.3), 1.1, 1.1);
      break;
    }
    case Glyph::Skip: {
      p.setPen(QPen(blue, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(Qt::NoBrush);
      QPainterPath jump;
      jump.moveTo(2, 11);
      jump.cubicTo(3, 3, 11, 3, 12.5, 9);
      p.drawPath(jump);
      p.drawPolyline(QPolygonF({QPointF(9.5, 8), QPointF(12.5, 9.5), QPointF(14, 6)}));
      p.setPen(QPen(Qt::darkGray, 1.5));
      p.drawLine(QPointF(1, 14), QPointF(15, 14));
      break;
    }
    case Glyph::Details: {
      p.setPen(QPen(Qt::darkGray, 1.2));
      for (int i = 0; i < 3; ++i) p.drawLine(QPointF(2, 3.5 + 4.5 * i), QPointF(14, 3.5 + 4.5 * i));
      p.setPen(Qt::NoPen);
      p.setBrush(blue);
      const double knobs[3] = {5, 11, 7.5};
      for (int i = 0; i < 3; ++i) p.drawRect(QRectF(knobs[i] - 1.5, 2 + 4.5 * i, 3, 3));
      break;
    }
  }
  return pixmap;
}

QIcon makeIcon(Glyph which) {
  QIcon icon;
  for (int size : {16, 24, 32}) icon.addPixmap(draw(which, size));
  return icon;
}

QPixmap drawApplicationIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 32.0, size / 32.0);
  // A parcel seen from the front, tied with a band, with a green arrow pressing down.
  p.setPen(QPen(QColor(0x5d, 0x40, 0x37), 1.2));
  p.setBrush(QColor(0xd7, 0xa8, 0x6e));
  p.drawRoundedRect(QRectF(4, 13, 24, 16), 2, 2);
  p.setBrush(QColor(0xbc, 0x8a, 0x50));
  p.drawRect(QRectF(14, 13, 4, 16));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1e, 0x8e, 0x3e));
  QPainterPath arrow;
  arrow.moveTo(12, 1);
  arrow.lineTo(20, 1);
  arrow.lineTo(20, 7);
  arrow.lineTo(25, 7);
  arrow.lineTo(16, 15);
  arrow.lineTo(7, 7);
  arrow.lineTo(12, 7);
  arrow.closeSubpath();
  p.drawPath(arrow);
  p.setPen(QColor(0x3e, 0x27, 0x23));
  QFont font;
  font.setPixelSize(7);
  font.setBold(true);
  p.setFont(font);
  p.drawText(QRectF(4, 18, 10, 10), Qt::AlignCenter, QStringLiteral("L"));
  p.drawText(QRectF(18, 18, 10, 10), Qt::AlignCenter, QStringLiteral("H"));
  return pixmap;
}

}  // namespace

QIcon glyph(Glyph which) { return makeIcon(which); }

QIcon applicationIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) icon.addPixmap(drawApplicationIcon(size));
  return icon;
}

}  // namespace vedo::ui
