// Connect, disconnect and the options sheet.
#include "mainwindow/main_window.h"

void MainWindow::Connect() {}

void MainWindow::Disconnect() {}

void MainWindow::OpenOptions() {}

void MainWindow::SetDialUpService(DialUpService* service)
{
    dialUpService = service;
}
