#include "CKwList.h"

CKwList::CKwList(CDoc* pDoc, QWidget* pParent) : QTableView(pParent), m_pDoc(pDoc) {}
CKwList::~CKwList() = default;
bool CKwList::Create() { return true; }
void CKwList::OnInitialUpdate() {}
void CKwList::OnUpdate(CDocView*, int, CGroup*) {}
bool CKwList::OnUpdateCommand(int, bool*) { return false; }
bool CKwList::OnCommand(int) { return false; }
