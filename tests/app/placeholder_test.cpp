// Placeholder so the executable has a source; delete once real tests land here.
