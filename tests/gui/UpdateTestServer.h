// A small HTTP/1.1 server on 127.0.0.1 for the update tests. It runs on the
// test's thread; the update check's local event loops serve it.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>

namespace vdtest {

struct TRoute {
  enum class TMode {
    Whole,    // status, headers and body at once
    Chunked,  // the body in chunks with Transfer-Encoding: chunked
    Drip,     // the body in pieces of DripBytes every DripMs, with Content-Length
    Stall,    // Content-Length of the whole body, then the first half, then nothing
  };
  int Status = 200;
  QByteArray Reason = "OK";
  QList<QPair<QByteArray, QByteArray>> Headers;
  QByteArray Body;
  TMode Mode = TMode::Whole;
  int DripBytes = 1024;
  int DripMs = 10;
  // Called once just before the last piece of a dripped body goes out.
  std::function<void()> BeforeLastPiece;
};

class TTestHttpServer : public QObject {
 public:
  TTestHttpServer() {
    QObject::connect(&FServer, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* s = FServer.nextPendingConnection()) Accept(s);
    });
    FServer.listen(QHostAddress::LocalHost, 0);
  }

  bool IsListening() const { return FServer.isListening(); }
  QString BaseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(FServer.serverPort()); }

  void Route(const QByteArray& path, TRoute route) { FRoutes.insert(path, std::move(route)); }
  void Text(const QByteArray& path, const QByteArray& body) {
    TRoute r;
    r.Body = body;
    Route(path, std::move(r));
  }
  void Status(const QByteArray& path, int status, const QByteArray& reason) {
    TRoute r;
    r.Status = status;
    r.Reason = reason;
    r.Body = reason;
    Route(path, std::move(r));
  }
  // `from` answers with `count` redirects in a row before reaching `to`.
  void RedirectChain(const QByteArray& from, int count, const QByteArray& to) {
    for (int i = 0; i < count; ++i) {
      TRoute r;
      r.Status = 302;
      r.Reason = "Found";
      const QByteArray target = i + 1 == count ? to : "/hop/" + from + "/" + QByteArray::number(i + 1);
      r.Headers.append({"Location", target});
      Route(i == 0 ? from : "/hop/" + from + "/" + QByteArray::number(i), std::move(r));
    }
  }

  QList<QByteArray> Paths;       // every request's path, in order
  QList<QByteArray> UserAgents;  // every request's User-Agent

 private:
  struct TConn {
    QByteArray In;
    bool Answered = false;
  };

  void Accept(QTcpSocket* s) {
    auto conn = std::make_shared<TConn>();
    QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, conn] {
      conn->In += s->readAll();
      const int end = conn->In.indexOf("\r\n\r\n");
      if (conn->Answered || end < 0) return;
      conn->Answered = true;
      const QList<QByteArray> lines = conn->In.left(end).split('\n');
      const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
      const QByteArray path = requestLine.value(1);
      QByteArray agent;
      for (const QByteArray& l : lines)
        if (l.toLower().startsWith("user-agent:")) agent = l.mid(11).trimmed();
      Paths.append(path);
      UserAgents.append(agent);
      Answer(s, path);
    });
  }

  static QByteArray Head(const TRoute& r) {
    QByteArray h = "HTTP/1.1 " + QByteArray::number(r.Status) + " " + r.Reason + "\r\n";
    for (const auto& [k, v] : r.Headers) h += k + ": " + v + "\r\n";
    h += "Connection: close\r\n";
    return h;
  }

  void Answer(QTcpSocket* s, const QByteArray& path) {
    if (!FRoutes.contains(path)) {
      s->write("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nNot Found");
      s->disconnectFromHost();
      return;
    }
    const TRoute r = FRoutes.value(path);
    const QByteArray lengthHeader = "Content-Length: " + QByteArray::number(r.Body.size()) + "\r\n";
    switch (r.Mode) {
      case TRoute::TMode::Whole:
        s->write(Head(r) + lengthHeader + "\r\n" + r.Body);
        s->disconnectFromHost();
        return;
      case TRoute::TMode::Stall:
        s->write(Head(r) + lengthHeader + "\r\n" + r.Body.left(r.Body.size() / 2));
        return;  // the socket stays open and silent until the client gives up
      case TRoute::TMode::Drip:
        s->write(Head(r) + lengthHeader + "\r\n");
        Drip(s, r, false);
        return;
      case TRoute::TMode::Chunked:
        s->write(Head(r) + "Transfer-Encoding: chunked\r\n\r\n");
        Drip(s, r, true);
        return;
    }
  }

  // Sends the body piece by piece on a timer, each piece as a chunk when `chunked`.
  void Drip(QTcpSocket* s, const TRoute& r, bool chunked) {
    auto* timer = new QTimer(s);
    auto offset = std::make_shared<int>(0);
    QPointer<QTcpSocket> socket(s);
    QObject::connect(timer, &QTimer::timeout, s, [socket, timer, offset, r, chunked] {
      if (!socket || socket->state() != QAbstractSocket::ConnectedState) {
        timer->stop();
        return;
      }
      const QByteArray piece = r.Body.mid(*offset, r.DripBytes);
      *offset += int(piece.size());
      const bool last = *offset >= r.Body.size();
      if (last && r.BeforeLastPiece) r.BeforeLastPiece();
      if (chunked) {
        if (!piece.isEmpty()) socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
        if (last) socket->write("0\r\n\r\n");
      } else {
        socket->write(piece);
      }
      if (last) {
        timer->stop();
        socket->disconnectFromHost();
      }
    });
    timer->start(r.DripMs);
  }

  QTcpServer FServer;
  QHash<QByteArray, TRoute> FRoutes;
};

}  // namespace vdtest

#include <QApplication>

#include "update/NewVersionDialog.h"

namespace vdtest {

// Runs `act` once on the new-version dialog as soon as it is showing. The
// dialog is modal, so the test reaches it from a timer.
inline void WhenDialogShows(std::function<void(vd::TfrmNewVersion*)> act) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<vd::TfrmNewVersion*>(w);
      if (dialog && dialog->isVisible()) {
        timer->stop();
        timer->deleteLater();
        act(dialog);
        return;
      }
    }
  });
  timer->start(5);
}

}  // namespace vdtest
