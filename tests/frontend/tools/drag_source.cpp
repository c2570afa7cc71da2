// The drag source of the desktop tests: a window that, when the mouse is
// pressed on it, drags the file named on its command line, as a file
// manager does.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

class Source : public QWidget {
public:
    explicit Source(QString file) : file_(std::move(file)) {
        setWindowTitle(QStringLiteral("Drag source"));
        setFixedSize(100, 100);
    }

protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(file_)});
        // On the heap, as the drop may ask for the data after exec returned.
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    }

private:
    QString file_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) return 2;
    Source source(QString::fromLocal8Bit(argv[1]));
    source.move(600, 600);
    source.show();
    return application.exec();
}
