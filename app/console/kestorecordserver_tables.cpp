// The storage tables of the window: built by InitTables after a successful engine start. Until
// they exist, the table slots below have nothing to act on.
#include "kestorecordserver.h"

void KestoRecordServer::InitTables() {
    Retranslate();
}

void KestoRecordServer::OnGetBlockInfoReturn(int) {}
void KestoRecordServer::OnSearchReturn(int) {}
void KestoRecordServer::OnDiskFormat() {}
void KestoRecordServer::OnDiskRefresh() {}
void KestoRecordServer::OnRecordFileSearch() {}
void KestoRecordServer::OnChnRefresh() {}
void KestoRecordServer::OnChnExport() {}
void KestoRecordServer::OnDiskStatusRefresh() {}
void KestoRecordServer::OnDiskStatusExport() {}
void KestoRecordServer::OnBlockRefresh() {}
void KestoRecordServer::OnBlockExport() {}
void KestoRecordServer::OnPlayback(int) {}
void KestoRecordServer::OnActionTriggered(QAbstractItemView*, const QModelIndex&, int) {}
void KestoRecordServer::OnItemCheckStateChange(QAbstractItemView*, const QModelIndex&) {}
void KestoRecordServer::OnDiskHeaderCheckChange(bool) {}
void KestoRecordServer::OnChnHeaderCheckChange(bool) {}
void KestoRecordServer::OnStreamHeaderCheckChange(bool) {}
void KestoRecordServer::OnDiskStatusHeaderCheckChange(bool) {}
void KestoRecordServer::OnBlockHeaderCheckChange(bool) {}
void KestoRecordServer::OnFileHeaderCheckChange(bool) {}
