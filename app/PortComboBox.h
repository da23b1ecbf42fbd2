#pragma once
// A drop-down list that tells when it is about to open, so the port list can be read
// again just before the user sees it.
#include <QComboBox>

class PortComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void showPopup() override {
        Q_EMIT dropDown();
        QComboBox::showPopup();
    }
Q_SIGNALS:
    void dropDown();
};
