#include "wallpaper/AtelierVignettes.h"

#include <algorithm>

#include "wallpaper/Vignette.h"

AtelierVignettes::AtelierVignettes(const TFileFormatsList& formats, CacheVignettes* cache,
                                   std::function<void()> reveil, unsigned fils)
    : formats_(formats), cache_(cache), reveil_(std::move(reveil)) {
  if (fils == 0) fils = std::max(1u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < fils; ++i) fils_.emplace_back([this] { travailler(); });
}

AtelierVignettes::~AtelierVignettes() {
  {
    std::lock_guard verrou(verrou_);
    fin_ = true;
    file_.clear();
  }
  travailAttend_.notify_all();
  for (std::thread& fil : fils_) fil.join();
}

std::uint64_t AtelierVignettes::lancer(std::vector<Travail> travaux, int largeurEcran, int hauteurEcran) {
  // The cells of these pictures are in use: kept first when the cache makes room.
  if (cache_) {
    std::vector<std::uint64_t> empreintes;
    empreintes.reserve(travaux.size());
    for (const Travail& travail : travaux) empreintes.push_back(CacheVignettes::Empreinte(travail.chemin));
    cache_->utiliser(empreintes);
  }
  std::uint64_t lot;
  {
    std::lock_guard verrou(verrou_);
    lot = ++lot_;
    file_.assign(std::make_move_iterator(travaux.begin()), std::make_move_iterator(travaux.end()));
    faits_.clear();
    largeurEcran_ = largeurEcran;
    hauteurEcran_ = hauteurEcran;
  }
  travailAttend_.notify_all();
  return lot;
}

void AtelierVignettes::annuler() {
  std::lock_guard verrou(verrou_);
  ++lot_;
  file_.clear();
  faits_.clear();
}

std::vector<AtelierVignettes::Resultat> AtelierVignettes::prendre(std::uint64_t lot) {
  std::lock_guard verrou(verrou_);
  if (lot != lot_) return {};
  std::vector<Resultat> pris;
  pris.swap(faits_);
  return pris;
}

void AtelierVignettes::travailler() {
  for (;;) {
    Travail travail;
    std::uint64_t lot;
    int largeur, hauteur;
    {
      std::unique_lock verrou(verrou_);
      travailAttend_.wait(verrou, [this] { return fin_ || !file_.empty(); });
      if (fin_) return;
      travail = std::move(file_.front());
      file_.pop_front();
      lot = lot_;
      largeur = largeurEcran_;
      hauteur = hauteurEcran_;
    }
    Resultat resultat = FaireCellule(travail.index, travail.chemin, formats_, cache_, largeur, hauteur);
    {
      std::lock_guard verrou(verrou_);
      if (lot != lot_) continue;
      faits_.push_back(std::move(resultat));
    }
    if (reveil_) reveil_();
  }
}

AtelierVignettes::Resultat FaireCellule(int index, const std::string& chemin, const TFileFormatsList& formats,
                                        CacheVignettes* cache, int largeurEcran, int hauteurEcran) {
  AtelierVignettes::Resultat resultat{index, std::nullopt,
                                      CacheVignettes::CleDe(chemin, largeurEcran, hauteurEcran)};
  if (cache && resultat.fichier) resultat.cellule = cache->lire(*resultat.fichier);
  if (!resultat.cellule) {
    resultat.cellule = FabriquerVignette(chemin, formats, largeurEcran, hauteurEcran);
    if (cache && resultat.cellule && resultat.fichier) cache->ecrire(*resultat.fichier, *resultat.cellule);
  }
  return resultat;
}
