// The yardstick for crtest --check: a program that starts Qt Core's application object and
// ends, nothing else.
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    return 0;
}
