// The library manager and its one-library form.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "library/archive.h"
#include "library/registry.h"
#include "ui/dialog.h"

class CDatumLibInfo : public CDialog {
    Q_OBJECT
public:
    explicit CDatumLibInfo(QWidget* parent = nullptr);
    std::string m_strName;  // GBK; set before DoModal, read after OK
    std::string m_strPath;  // GBK; a folder path ending with '\'
    bool m_bNameOnly = false;  // Edit: only the name is taken back, so the path field and Browse are disabled
    bool m_bNameFromFolder = false;  // 添加: a folder browsed for names the library while the name is empty

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnBrowse();
};

class CShowMsgDlg;

class CDatumLibMang : public CDialog {
    Q_OBJECT
public:
    explicit CDatumLibMang(QWidget* parent = nullptr);

    bool LoadList();
    bool SaveList();
    void FillList();

    // True once a restore wrote the registry file: the window must read it again even after Cancel.
    bool RegistryWritten() const { return m_registryWritten; }

    LibraryRegistry m_reg;  // m_libs, m_nCount, m_nUse
    std::string m_strError;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
    void OnNew(const std::string& presetPath = {});  // presetPath: the form's folder to begin with
    void OnAdd();  // datum_lib_add.cpp
    void OnEdit();
    void OnDelete();
    // The folder holds the program directory or a registered library (it cannot be thrown away whole).
    bool HoldsOthers(const std::string& path) const;
    void OnSetDefault();
    // Backup and restore (datum_lib_backup.cpp): the work runs on a thread of its own while the dialog stays
    // responsive; "取消" then stops the work instead of closing the dialog.
    void OnBackup();
    void OnRestore();
    void OnCancel() override;
    // Export and import (datum_lib_export.cpp), under the job strip and its own 取消.
    void OnExport(bool site);
    void OnImport();

private:
    void UpdateButtons();
    // Adds what another program registered since the dialog opened (a scheduled restore), so that OK never
    // writes the registry back from a stale copy. False with m_strError when it cannot be read or has no
    // room.
    bool MergeRegistryOnDisk();
    archiving::Outcome RunJob(const std::string& progressText,
                              const std::function<archiving::Outcome(const archiving::Control&)>& work);
    std::string DefaultRestoreFolder(const std::string& name) const;

    std::vector<DatumLibEntry> m_known;  // every library this dialog has seen in the registry file
    std::atomic<bool> m_cancel{false};
    bool m_busy = false;
    bool m_registryWritten = false;
    CShowMsgDlg* m_strip = nullptr;  // created on first use, owned by the dialog
};
