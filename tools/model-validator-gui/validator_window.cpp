#include "validator_window.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "engine/resource/file_system.h"
#include "finding_links.h"
#include "severity_delegate.h"

using KX::ValidatorHelper::ValidationError;

namespace {

// Row numbers from the top level down, so that selections copy in the order
// they appear in the tree.
std::vector<int> treePosition(QModelIndex index) {
    std::vector<int> rows;
    for (; index.isValid(); index = index.parent()) {
        rows.push_back(index.row());
    }
    std::reverse(rows.begin(), rows.end());
    return rows;
}

QString countsText(const std::vector<ValidationError>& findings) {
    std::array<int, 4> counts = {};
    for (const ValidationError& finding : findings) {
        const auto severity = static_cast<size_t>(finding.severity);
        if (severity < counts.size()) {
            ++counts[severity];
        }
    }
    return QStringLiteral("%1 findings: %2 high, %3 medium, %4 normal, %5 none")
        .arg(findings.size())
        .arg(counts[3])
        .arg(counts[2])
        .arg(counts[1])
        .arg(counts[0]);
}

QMessageBox::Icon severityIcon(KX::ValidatorHelper::ValidationErrorSeverity severity) {
    switch (severity) {
    case KX::ValidatorHelper::ValidationErrorSeverity::High:
        return QMessageBox::Critical;
    case KX::ValidatorHelper::ValidationErrorSeverity::Medium:
        return QMessageBox::Warning;
    default:
        return QMessageBox::Information;
    }
}

} // namespace

ValidatorWindow::ValidatorWindow(QWidget* parent)
    : QMainWindow(parent), fileOpener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
    validator_.setCancelCallBack([this] { return cancelRequested_.load(); });
    model_ = new ValidatorTreeModel(*this, this);
    buildUi();
    updateControls();
    setStatus(tr("Choose resource roots and a model, then validate."));
}

ValidatorWindow::~ValidatorWindow() {
    if (worker_ != nullptr) {
        cancelRequested_ = true;
        worker_->wait();
    }
}

void ValidatorWindow::buildUi() {
    setWindowTitle(tr("Model Validator"));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* rootsBox = new QGroupBox(tr("Resource roots"), central);
    auto* rootsLayout = new QHBoxLayout(rootsBox);
    rootList_ = new QListWidget(rootsBox);
    rootList_->setObjectName(QStringLiteral("rootList"));
    rootList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    rootList_->setMaximumHeight(80);
    rootsLayout->addWidget(rootList_);
    auto* rootButtons = new QVBoxLayout();
    addRootButton_ = new QPushButton(tr("Add..."), rootsBox);
    addRootButton_->setObjectName(QStringLiteral("addRootButton"));
    removeRootButton_ = new QPushButton(tr("Remove"), rootsBox);
    removeRootButton_->setObjectName(QStringLiteral("removeRootButton"));
    rootButtons->addWidget(addRootButton_);
    rootButtons->addWidget(removeRootButton_);
    rootButtons->addStretch();
    rootsLayout->addLayout(rootButtons);
    layout->addWidget(rootsBox);

    auto* modelRow = new QHBoxLayout();
    modelRow->addWidget(new QLabel(tr("Model:"), central));
    modelEdit_ = new QLineEdit(central);
    modelEdit_->setObjectName(QStringLiteral("modelEdit"));
    modelEdit_->setPlaceholderText(tr("resource path of a .model file"));
    modelRow->addWidget(modelEdit_, 1);
    browseButton_ = new QPushButton(tr("Browse..."), central);
    browseButton_->setObjectName(QStringLiteral("browseButton"));
    validateButton_ = new QPushButton(tr("Validate"), central);
    validateButton_->setObjectName(QStringLiteral("validateButton"));
    validateButton_->setDefault(true);
    cancelButton_ = new QPushButton(tr("Cancel"), central);
    cancelButton_->setObjectName(QStringLiteral("cancelButton"));
    modelRow->addWidget(browseButton_);
    modelRow->addWidget(validateButton_);
    modelRow->addWidget(cancelButton_);
    layout->addLayout(modelRow);

    tree_ = new QTreeView(central);
    tree_->setObjectName(QStringLiteral("findingsTree"));
    tree_->setModel(model_);
    tree_->setItemDelegate(new SeverityDelegate(*model_, tree_));
    tree_->setHeaderHidden(true);
    tree_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setUniformRowHeights(true);
    tree_->setExpandsOnDoubleClick(false);
    // Long findings scroll sideways instead of being cut short.
    tree_->header()->setStretchLastSection(false);
    tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    layout->addWidget(tree_, 1);
    setCentralWidget(central);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("statusLabel"));
    statusBar()->addWidget(status_, 1);

    auto* copyAction = new QAction(tr("Copy"), tree_);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    tree_->addAction(copyAction);

    connect(copyAction, &QAction::triggered, this, &ValidatorWindow::copySelection);
    connect(tree_, &QTreeView::doubleClicked, model_, &ValidatorTreeModel::onDoubleClicked);
    connect(addRootButton_, &QPushButton::clicked, this, &ValidatorWindow::browseForRoot);
    connect(removeRootButton_, &QPushButton::clicked, this, &ValidatorWindow::removeSelectedRoots);
    connect(browseButton_, &QPushButton::clicked, this, &ValidatorWindow::browseForModel);
    connect(validateButton_, &QPushButton::clicked, this, &ValidatorWindow::startValidation);
    connect(cancelButton_, &QPushButton::clicked, this, &ValidatorWindow::cancelValidation);
    connect(modelEdit_, &QLineEdit::returnPressed, this, &ValidatorWindow::startValidation);
    resize(960, 640);
}

std::vector<ValidationError> ValidatorWindow::errors() const {
    return findings_;
}

bool ValidatorWindow::validationIsDisabled() const {
    return false;
}

bool ValidatorWindow::validationIsRunning() const {
    return worker_ != nullptr;
}

void ValidatorWindow::openError(int index) const {
    // The panel interface is const, but showing a finding opens a dialog owned
    // by this (never const) window.
    const_cast<ValidatorWindow*>(this)->showFinding(index);
}

void ValidatorWindow::showFinding(int index) {
    if (index < 0 || static_cast<size_t>(index) >= findings_.size()) {
        return;
    }
    const ValidationError& finding = findings_[static_cast<size_t>(index)];
    if (findingBox_) {
        findingBox_->close();
    }
    auto* box = new QMessageBox(severityIcon(finding.severity), tr("Finding"),
                                QString::fromStdString(finding.message), QMessageBox::Close, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("findingBox"));

    // Findings name files by resource path; the roots in force are those the
    // validation ran with.
    const std::string absolute = KX::GuiLinks::firstExistingFile(finding.message);
    if (!absolute.empty()) {
        const QString file = QString::fromStdString(absolute);
        box->setInformativeText(tr("File: %1").arg(QDir::toNativeSeparators(file)));
        QPushButton* openButton = box->addButton(tr("Open file"), QMessageBox::ActionRole);
        openButton->setObjectName(QStringLiteral("openFileButton"));
        connect(openButton, &QPushButton::clicked, this, [this, file] {
            if (!fileOpener_(QUrl::fromLocalFile(file))) {
                setStatus(tr("Cannot open %1").arg(QDir::toNativeSeparators(file)));
            }
        });
    } else if (const auto named = KX::GuiLinks::resourcePathCandidates(finding.message); !named.empty()) {
        box->setInformativeText(
            tr("%1 was not found under the resource roots.").arg(QString::fromStdString(named.front())));
    }
    findingBox_ = box;
    box->open();
}

QStringList ValidatorWindow::resourceRoots() const {
    QStringList roots;
    for (int i = 0; i < rootList_->count(); ++i) {
        roots << rootList_->item(i)->text();
    }
    return roots;
}

void ValidatorWindow::setResourceRoots(const QStringList& roots) {
    rootList_->clear();
    for (const QString& root : roots) {
        addResourceRoot(root);
    }
}

void ValidatorWindow::addResourceRoot(const QString& folder) {
    const QString root = QDir::fromNativeSeparators(QDir::cleanPath(QFileInfo(folder).absoluteFilePath()));
    if (!folder.isEmpty() && !resourceRoots().contains(root)) {
        rootList_->addItem(root);
    }
    updateControls();
}

QString ValidatorWindow::modelPath() const {
    return modelEdit_->text().trimmed();
}

void ValidatorWindow::setModelPath(const QString& resourcePath) {
    modelEdit_->setText(resourcePath);
}

bool ValidatorWindow::setModelFromFile(const QString& absoluteFile) {
    const QString resourcePath = KX::GuiLinks::resourcePathForFile(resourceRoots(), absoluteFile);
    if (resourcePath.isEmpty()) {
        setStatus(tr("%1 is not under any resource root.").arg(QDir::toNativeSeparators(absoluteFile)));
        return false;
    }
    setModelPath(resourcePath);
    return true;
}

void ValidatorWindow::setFileOpener(FileOpener opener) {
    fileOpener_ = std::move(opener);
}

QMessageBox* ValidatorWindow::findingBox() const {
    return findingBox_.data();
}

QString ValidatorWindow::statusText() const {
    return status_->text();
}

void ValidatorWindow::setStatus(const QString& text) {
    status_->setText(text);
}

void ValidatorWindow::updateControls() {
    const bool running = validationIsRunning();
    addRootButton_->setEnabled(!running);
    removeRootButton_->setEnabled(!running && rootList_->count() > 0);
    rootList_->setEnabled(!running);
    modelEdit_->setEnabled(!running);
    browseButton_->setEnabled(!running);
    validateButton_->setEnabled(!running);
    cancelButton_->setEnabled(running);
}

bool ValidatorWindow::startValidation() {
    if (validationIsRunning()) {
        return false;
    }
    const QStringList roots = resourceRoots();
    const QString model = modelPath();
    if (roots.isEmpty()) {
        setStatus(tr("Add a resource root first."));
        return false;
    }
    if (model.isEmpty()) {
        setStatus(tr("Choose a model to validate."));
        return false;
    }
    std::vector<std::string> rootPaths;
    for (const QString& root : roots) {
        rootPaths.push_back(root.toStdString());
    }
    FS::fileSystem()->setRoots(rootPaths);
    const std::string path = model.toStdString();
    if (FS::fileSystem()->fileType(path) != FS::FT_FILE) {
        setStatus(tr("Model %1 was not found under the resource roots.").arg(model));
        return false;
    }

    if (findingBox_) {
        findingBox_->close();
    }
    cancelRequested_ = false;
    runningModel_ = model;
    // The validator is left to the worker until it finishes; the (now empty)
    // tree is rebuilt only then.
    worker_ = QThread::create([this, path] { validator_.check(path); });
    worker_->setParent(this);
    connect(worker_, &QThread::finished, this, &ValidatorWindow::onValidationThreadFinished);
    model_->reset();
    updateControls();
    setStatus(tr("Validating %1...").arg(model));
    worker_->start();
    return true;
}

void ValidatorWindow::cancelValidation() {
    if (validationIsRunning()) {
        cancelRequested_ = true;
        setStatus(tr("Cancelling..."));
    }
}

void ValidatorWindow::onValidationThreadFinished() {
    worker_->deleteLater();
    worker_ = nullptr;
    findings_ = validator_.getErrors();
    model_->reset();
    tree_->expandAll();
    updateControls();
    const QString prefix = cancelRequested_ ? tr("Cancelled: %1, partial results. ").arg(runningModel_)
                                            : tr("%1: ").arg(runningModel_);
    setStatus(prefix + countsText(findings_));
    emit validationFinished();
}

void ValidatorWindow::copySelection() {
    QModelIndexList selected = tree_->selectionModel()->selectedRows(0);
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return treePosition(a) < treePosition(b); });
    model_->copySelected(selected);
}

void ValidatorWindow::browseForModel() {
    const QStringList roots = resourceRoots();
    const QString file = QFileDialog::getOpenFileName(
        this, tr("Choose a model"), roots.isEmpty() ? QString() : roots.front(), tr("Models (*.model)"));
    if (!file.isEmpty()) {
        setModelFromFile(file);
    }
}

void ValidatorWindow::browseForRoot() {
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Add a resource root"));
    if (!folder.isEmpty()) {
        addResourceRoot(folder);
    }
}

void ValidatorWindow::removeSelectedRoots() {
    qDeleteAll(rootList_->selectedItems());
    updateControls();
}
