// bench/bare_window.cpp: the baseline of the start-up and memory figures: a plain Qt Widgets
// window with the renaming window's widgets (a group box of labels, a labelled text field and
// six buttons), built straight on Qt. It takes the file arguments as the program does (keeps
// their paths), prints "window shown." once the window is shown, and quits when the event loop
// has served that first show.
#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

QHBoxLayout* row(QWidget* left, QWidget* right)
{
    auto* layout = new QHBoxLayout;
    layout->addWidget(left);
    layout->addWidget(right, 1);
    return layout;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    std::vector<std::string> paths(argv + 1, argv + argc);

    QWidget window;
    auto* outer = new QVBoxLayout(&window);
    auto* box = new QGroupBox("Rename");
    outer->addWidget(box);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(10, 10, 10, 10);

    column->addLayout(row(new QLabel("000/000"), new QLabel("Name")));
    column->addLayout(row(new QLabel("Preview"), new QLabel("")));
    for (const char* text :
        { "", "Use the tag and attribute variables, and additional",
            "characters of your choice, to build the new filename.",
            "Tags:          /at, /tt, /lt, /yt, /ct", "Attributes:   /aa, /ta, /la, /ya, /ca", "" })
        column->addWidget(new QLabel(text));
    auto* field = new QLineEdit("/aa - /ta - /la.mp3");
    column->addLayout(row(new QLabel("Name-constructor"), field));
    column->addWidget(new QLabel(""));

    auto* renameButtons = new QHBoxLayout;
    for (const char* text : { "Add .mp3", "Remove .mp3", "Rename" })
        renameButtons->addWidget(new QPushButton(text));
    column->addLayout(renameButtons);
    auto* navigationButtons = new QHBoxLayout;
    for (const char* text : { "About", "Prev", "Next" })
        navigationButtons->addWidget(new QPushButton(text));
    column->addLayout(navigationButtons);

    window.move(100, 100);
    window.show();
    std::printf("window shown.\n");
    std::fflush(stdout);
    QTimer::singleShot(0, &application, &QApplication::quit);
    int result = application.exec();
    std::printf("%zu files\n", paths.size());
    return result;
}
