#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QUrl>
#include <atomic>
#include <functional>
#include <vector>

#include "model_validator/model_validator.h"
#include "validator_tree_model.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QMessageBox;
class QPushButton;
class QThread;
class QTreeView;

// The validation window: resource roots, a model, a Validate/Cancel pair and
// the findings as a severity-coloured tree. Validation runs on a worker thread
// so that Cancel stays responsive; the tree is rebuilt when it ends.
class ValidatorWindow : public QMainWindow, public IValidatorPanel {
    Q_OBJECT

  public:
    using FileOpener = std::function<bool(const QUrl&)>;

    explicit ValidatorWindow(QWidget* parent = nullptr);
    ~ValidatorWindow() override;

    std::vector<KX::ValidatorHelper::ValidationError> errors() const override;
    bool validationIsDisabled() const override;
    bool validationIsRunning() const override;
    // Shows the finding in a non-blocking message box that offers to open the
    // file it names.
    void openError(int index) const override;

    QStringList resourceRoots() const;
    void setResourceRoots(const QStringList& roots);
    void addResourceRoot(const QString& folder);
    QString modelPath() const;
    void setModelPath(const QString& resourcePath);
    // Picks a model file on disk; false (and a status message) when it lies
    // under none of the resource roots.
    bool setModelFromFile(const QString& absoluteFile);
    // How files named by findings are opened; the desktop's handler by default.
    void setFileOpener(FileOpener opener);

    ValidatorTreeModel& treeModel() const { return *model_; }
    QTreeView* treeView() const { return tree_; }
    QString statusText() const;
    // The finding box currently shown, if any.
    QMessageBox* findingBox() const;

  public slots:
    // False, with the reason in the status line, when nothing was started.
    bool startValidation();
    void cancelValidation();
    void copySelection();

  signals:
    void validationFinished();

  private slots:
    void onValidationThreadFinished();

  private:
    void buildUi();
    void updateControls();
    void setStatus(const QString& text);
    void showFinding(int index);
    void browseForModel();
    void browseForRoot();
    void removeSelectedRoots();

    KX::ModelValidator validator_;
    std::vector<KX::ValidatorHelper::ValidationError> findings_;
    std::atomic<bool> cancelRequested_{false};
    QThread* worker_ = nullptr;
    QString runningModel_;
    FileOpener fileOpener_;

    ValidatorTreeModel* model_ = nullptr;
    QListWidget* rootList_ = nullptr;
    QLineEdit* modelEdit_ = nullptr;
    QPushButton* addRootButton_ = nullptr;
    QPushButton* removeRootButton_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    QPushButton* validateButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QTreeView* tree_ = nullptr;
    QLabel* status_ = nullptr;
    QPointer<QMessageBox> findingBox_;
};
