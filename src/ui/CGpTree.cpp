#include "CGpTree.h"

CGpTree::CGpTree(CDoc* pDoc, QWidget* pParent) : QTreeWidget(pParent), m_pDoc(pDoc) {}
void CGpTree::OnInitialUpdate() {}
void CGpTree::OnUpdate(CDocView*, int, CGroup*) {}
bool CGpTree::OnUpdateCommand(int, bool*) { return false; }
bool CGpTree::OnCommand(int) { return false; }
